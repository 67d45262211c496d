#include "recording/text_lines.h"

#include <algorithm>

namespace qelto {

std::vector<std::string> SplitTextLines(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
  return lines;
}

}  // namespace qelto
