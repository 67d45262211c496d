#pragma once

// How the recorder reads a driver's information text, restated here so the tests can check
// that the simulator's text reads as intended without depending on the recorder's code.

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace qelto::sim::testing_support {

// Lines split at CR LF, lone CR or lone LF; a break at the very end adds no empty line.
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

// Devices from line index 4 on whose last 13 characters, lower-cased, hold "connected" but not
// "disconnected".
inline int ConnectedDeviceCount(std::string_view text) {
  const std::vector<std::string> lines = SplitLines(text);
  int count = 0;
  for (std::size_t i = 4; i < lines.size(); ++i) {
    std::string tail = lines[i].substr(lines[i].size() > 13 ? lines[i].size() - 13 : 0);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (tail.find("connected") != std::string::npos &&
        tail.find("disconnected") == std::string::npos) {
      ++count;
    }
  }
  return count;
}

// The version between "VER " and the next CR LF, searched for only within the first 30
// characters; empty when it is not wholly there.
inline std::string VersionWithinFirst30(std::string_view text) {
  const std::string_view head = text.substr(0, 30);
  const std::size_t ver = head.find("VER ");
  if (ver == std::string_view::npos) return {};
  const std::size_t crlf = head.find("\r\n", ver + 3);
  if (crlf == std::string_view::npos) return {};
  return std::string(head.substr(ver + 4, crlf - ver - 4));
}

}  // namespace qelto::sim::testing_support
