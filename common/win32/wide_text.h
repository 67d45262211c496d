#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qelto {

// Conversions between the recorder's UTF-8 texts and the two encodings of the Win32 API: UTF-16
// for the wide functions, and the system's ANSI code page (1256 on a Persian Windows) for files
// that the shop's older tools read.

// UTF-16 from UTF-8; invalid sequences become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);
// UTF-16 from UTF-8, or nullopt when `text` is not valid UTF-8.
std::optional<std::wstring> WideFromStrictUtf8(std::string_view text);
// UTF-8 from UTF-16; unpaired surrogates become U+FFFD.
std::string Utf8FromWide(std::wstring_view text);
// UTF-16 from text in the system's ANSI code page.
std::wstring WideFromAnsi(std::string_view text);
// Text in the system's ANSI code page; characters it lacks become its default character ('?').
std::string AnsiFromWide(std::wstring_view text);
// Text in `codePage` (CP_ACP for the ANSI one), or nullopt when the code page lacks one of its
// characters. With `bestFit`, a character it lacks may be written as the look-alike Windows
// chooses (the Arabic yeh of 1256 for the Persian one), and only one without is missing.
std::optional<std::string> InCodePage(unsigned codePage, std::wstring_view text, bool bestFit);

}  // namespace qelto
