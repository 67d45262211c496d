#include "ui/log_text.h"

#include <cstdint>

namespace qelto {
namespace {

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at the start of `text` (RFC 3629: no overlong forms,
// no surrogates, nothing above U+10FFFF), or 0 when it does not start with one.
std::size_t SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(byte(i))) return 0;
  }
  return length;
}

// C0 controls and DEL as one byte; C1 controls (U+0080 to U+009F) as C2 80 to C2 9F.
bool IsControl(std::string_view sequence) {
  const auto lead = static_cast<unsigned char>(sequence[0]);
  if (sequence.size() == 1) return lead < 0x20 || lead == 0x7F;
  return sequence.size() == 2 && lead == 0xC2 && static_cast<unsigned char>(sequence[1]) < 0xA0;
}

void AppendEscaped(std::string& out, std::string_view bytes) {
  constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
}

}  // namespace

std::string EscapedLogText(std::string_view text, std::size_t maxBytes) {
  std::string out;
  out.reserve(text.size() < maxBytes ? text.size() : maxBytes);
  std::size_t lastFit = 0;  // length of the output that still leaves room for the mark
  while (!text.empty()) {
    const std::size_t length = SequenceLength(text);
    const std::string_view piece = text.substr(0, length == 0 ? 1 : length);
    if (length == 0 || IsControl(piece)) {
      AppendEscaped(out, piece);
    } else {
      out.append(piece);
    }
    text.remove_prefix(piece.size());
    if (out.size() > maxBytes) {
      out.resize(lastFit);
      out.append(kCutMark);
      return out;
    }
    if (out.size() + kCutMark.size() <= maxBytes) lastFit = out.size();
  }
  return out;
}

}  // namespace qelto
