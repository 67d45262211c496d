#pragma once

// How the recorder reads a driver's information text: with its own parser, so that a driver's
// text is checked as the recorder will take it.

#include <string>
#include <string_view>
#include <vector>

#include "device/driver_info.h"

namespace qelto::cidr::testing_support {

// The text's lines, for the tests to look at: split at CR LF, lone CR or lone LF, as the recorder
// splits them; a break at the very end adds no empty line.
inline std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string current;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') {
      current += text[i];
      continue;
    }
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    lines.push_back(std::move(current));
    current.clear();
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

// The driver hands the recorder its information text in UTF-16; the tests hold it as the 8-bit
// text it is (the driver's texts are ASCII).
inline std::u16string AsDriverText(std::string_view text) {
  std::u16string wide;
  for (const char c : text) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

// The devices the recorder counts as connected in the text.
inline int ConnectedDeviceCount(std::string_view text) {
  return qelto::ConnectedDeviceCountOf(AsDriverText(text).c_str());
}

// The version the recorder reads in the text (without the sign that tells UTF-16 from 8-bit);
// empty when it finds none.
inline std::string VersionWithinFirst30(std::string_view text) {
  const std::string version = qelto::DriverVersionOf(AsDriverText(text).c_str());
  return version.empty() ? version : version.substr(1);
}

}  // namespace qelto::cidr::testing_support
