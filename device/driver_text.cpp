#include "device/driver_text.h"

#include <cstring>

namespace qelto {
namespace {

std::size_t BoundedByteLength(const unsigned char* bytes) {
  std::size_t n = 0;
  while (n < kMaxDriverTextLength && bytes[n] != 0) ++n;
  return n;
}

std::u16string ReadUtf16(const unsigned char* bytes) {
  std::u16string out;
  for (std::size_t i = 0; i < kMaxDriverTextLength; ++i) {
    char16_t unit;
    std::memcpy(&unit, bytes + 2 * i, sizeof unit);  // the buffer need not be aligned
    if (unit == 0) break;
    out.push_back(unit);
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  auto byte = [&out](char32_t v) { out.push_back(static_cast<char>(v)); };
  if (cp < 0x80) {
    byte(cp);
  } else if (cp < 0x800) {
    byte(0xC0 | (cp >> 6));
    byte(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    byte(0xE0 | (cp >> 12));
    byte(0x80 | ((cp >> 6) & 0x3F));
    byte(0x80 | (cp & 0x3F));
  } else {
    byte(0xF0 | (cp >> 18));
    byte(0x80 | ((cp >> 12) & 0x3F));
    byte(0x80 | ((cp >> 6) & 0x3F));
    byte(0x80 | (cp & 0x3F));
  }
}

bool IsHighSurrogate(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

DriverText ReadDriverText(const void* text) {
  DriverText result;
  if (text == nullptr) return result;
  const auto* bytes = static_cast<const unsigned char*>(text);
  const std::size_t length = BoundedByteLength(bytes);
  if (length >= 3 && std::memcmp(bytes, "POS", 3) == 0) {
    result.kind = DriverTextKind::kAnsi;
    result.ansi.assign(reinterpret_cast<const char*>(bytes), length);
  } else if (length == 1) {
    result.kind = DriverTextKind::kUtf16;
    result.utf16 = ReadUtf16(bytes);
  } else if (length > 1) {
    // Not an information text of either kind; keep what can be read safely.
    result.kind = DriverTextKind::kAnsi;
    result.ansi.assign(reinterpret_cast<const char*>(bytes), length);
  }
  return result;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

char16_t AsciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

}  // namespace qelto
