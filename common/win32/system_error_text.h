#pragma once

#include <cstdint>
#include <string>

namespace qelto {

// Windows' own description of a system error code (GetLastError), in UTF-8 and on one line,
// e.g. "The system cannot find the file specified."; the code in numbers when Windows has none.
std::string SystemErrorText(std::uint32_t code);

}  // namespace qelto
