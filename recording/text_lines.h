#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qelto {

// Splits single-byte text into lines the way the settings file is read: a line ends at CR LF, at
// a lone CR or at a lone LF; a break at the very end adds no empty line; a NUL ends the text.
// Empty text gives no lines.
std::vector<std::string> SplitTextLines(std::string_view text);

}  // namespace qelto
