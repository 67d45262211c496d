#include "drivers/raw_record.h"

namespace qelto::cidr {
namespace {

void AppendEscaped(std::string& out, char c) {
  constexpr char kHex[] = "0123456789ABCDEF";
  const auto byte = static_cast<unsigned char>(c);
  if (c == '\\') {
    out += "\\\\";
  } else if (c == '\r') {
    out += "\\r";
  } else if (c == '\n') {
    out += "\\n";
  } else if (byte >= 0x20 && byte < 0x7F) {
    out += c;
  } else {
    out += "\\x";
    out += kHex[byte >> 4U];
    out += kHex[byte & 0x0FU];
  }
}

}  // namespace

std::string FormatRawRecord(std::string_view stamp, std::int32_t line, RawDirection direction,
                            std::string_view bytes) {
  std::string record(stamp);
  record += " line " + std::to_string(line) + ' ' + static_cast<char>(direction) + ' ';
  for (const char c : bytes) AppendEscaped(record, c);
  record += '\n';
  return record;
}

}  // namespace qelto::cidr
