#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace qelto::cidr::testing_support {

// Bytes outside printable ASCII as \xNN, so table rows print (and name tests) legibly.
inline std::string Printable(std::string_view bytes) {
  std::string text = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
      text += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
      text += escaped;
    }
  }
  return text + "\"";
}

}  // namespace qelto::cidr::testing_support
