#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qelto {

// The two kinds of information text a driver may return: 8-bit text of older drivers, and
// UTF-16 text of current ones.
enum class DriverTextKind { kEmpty, kAnsi, kUtf16 };

// A driver's information text, copied out of the driver's buffer.
struct DriverText {
  DriverTextKind kind = DriverTextKind::kEmpty;
  std::string ansi;      // the 8-bit reading (kAnsi)
  std::u16string utf16;  // the UTF-16 reading (kUtf16)
};

// Longest text we read from a driver, in bytes or in UTF-16 units. A real information text is a
// few hundred characters; this only keeps a broken driver from making us walk through memory.
inline constexpr std::size_t kMaxDriverTextLength = 64 * 1024;

// Copies the driver's NUL-terminated text at `text` (null gives kEmpty) without reading past its
// end. The 8-bit reading, to the first zero byte, is always safe. The UTF-16 reading is taken only
// where the text can be UTF-16 at all: a UTF-16 text that starts with a Latin letter has a zero
// second byte, so its 8-bit reading is one character long. A text whose 8-bit reading is longer
// is 8-bit (or no valid information text) and is never read as UTF-16 past its zero byte. An
// 8-bit text beginning with "POS" is of the older kind.
DriverText ReadDriverText(const void* text);

// Converts UTF-16 to the recorder's single-byte text, which on this platform is UTF-8.
// Unpaired surrogates become U+FFFD.
std::string Utf16ToAnsi(std::u16string_view text);

// ASCII-only case folding; other bytes are left alone.
char AsciiUpper(char c);
char16_t AsciiLower(char16_t c);

}  // namespace qelto
