#include "drivers/control/line_splitter.h"

namespace qelto::cidr {

bool LineSplitter::Append(std::string_view bytes) {
  buffer_.append(bytes);
  std::size_t start = 0;
  for (std::size_t end = buffer_.find('\n'); end != std::string::npos;
       end = buffer_.find('\n', start)) {
    if (end - start > max_line_) return false;
    start = end + 1;
  }
  return buffer_.size() - start <= max_line_;
}

std::optional<std::string> LineSplitter::NextLine() {
  const std::size_t end = buffer_.find('\n');
  if (end == std::string::npos) return std::nullopt;
  std::string line = buffer_.substr(0, end);
  buffer_.erase(0, end + 1);
  return WithoutCr(std::move(line));
}

std::optional<std::string> LineSplitter::TakeRemainder() {
  if (buffer_.empty()) return std::nullopt;
  std::string line = std::move(buffer_);
  buffer_.clear();
  return WithoutCr(std::move(line));
}

std::string LineSplitter::WithoutCr(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace qelto::cidr
