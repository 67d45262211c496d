#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qelto::cidr {

// Strict UTF-8 to UTF-16: overlong forms, surrogate code points, values above U+10FFFF and
// truncated sequences make the whole text invalid (nullopt) rather than being replaced.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// A status text for the recorder from UTF-8 parts: every character kept (Windows gives its
// reasons in the user's language, Persian on a Persian Windows), while control characters and
// bytes that are not UTF-8 each become "?", so the text stays one readable line.
std::u16string PrintableUtf16(std::string_view utf8);

// Widens 7-bit ASCII text unit by unit. Only for texts this simulator composes itself.
std::u16string WidenAscii(std::string_view ascii);

}  // namespace qelto::cidr
