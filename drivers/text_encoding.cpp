#include "drivers/text_encoding.h"

namespace qelto::cidr {
namespace {

constexpr bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0U) == 0x80U;
}

struct LeadByte {
  std::size_t extra;  // continuation bytes that follow
  char32_t bits;      // payload of the lead byte
  char32_t minimum;   // smallest value this length may encode; below it the form is overlong
};

std::optional<LeadByte> ClassifyLead(unsigned char lead) {
  if (lead < 0x80U) return LeadByte{0, lead, 0};
  if ((lead & 0xE0U) == 0xC0U) return LeadByte{1, lead & 0x1FU, 0x80};
  if ((lead & 0xF0U) == 0xE0U) return LeadByte{2, lead & 0x0FU, 0x800};
  if ((lead & 0xF8U) == 0xF0U) return LeadByte{3, lead & 0x07U, 0x10000};
  return std::nullopt;
}

// Decodes the sequence starting at `pos` and advances past it; nullopt when it is not UTF-8.
std::optional<char32_t> DecodeOne(std::string_view text, std::size_t& pos) {
  const std::optional<LeadByte> lead = ClassifyLead(static_cast<unsigned char>(text[pos]));
  if (!lead || text.size() - pos <= lead->extra) return std::nullopt;
  char32_t value = lead->bits;
  for (std::size_t i = 1; i <= lead->extra; ++i) {
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(byte)) return std::nullopt;
    value = (value << 6U) | (byte & 0x3FU);
  }
  if (value < lead->minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return std::nullopt;
  }
  pos += lead->extra + 1;
  return value;
}

void AppendUtf16(std::u16string& out, char32_t value) {
  if (value < 0x10000) {
    out.push_back(static_cast<char16_t>(value));
    return;
  }
  const char32_t offset = value - 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10U)));
  out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FFU)));
}

}  // namespace

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::optional<char32_t> value = DecodeOne(utf8, pos);
    if (!value) return std::nullopt;
    AppendUtf16(out, *value);
  }
  return out;
}

std::u16string PrintableUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::optional<char32_t> value = DecodeOne(utf8, pos);
    if (!value) ++pos;
    const bool control = value && (*value < 0x20 || (*value >= 0x7F && *value <= 0x9F));
    if (!value || control) {
      out.push_back(u'?');
    } else {
      AppendUtf16(out, *value);
    }
  }
  return out;
}

std::u16string WidenAscii(std::string_view ascii) {
  std::u16string out;
  out.reserve(ascii.size());
  for (const char c : ascii) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace qelto::cidr
