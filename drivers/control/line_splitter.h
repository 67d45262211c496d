#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qelto::cidr {

// Cuts a byte stream into lines ended by LF; a CR just before the LF is dropped, so clients
// that send CR LF are understood too. A line longer than the limit poisons the stream.
class LineSplitter {
 public:
  explicit LineSplitter(std::size_t max_line) : max_line_(max_line) {}

  // Adds received bytes. Returns false once a line (complete or not) exceeds the limit.
  bool Append(std::string_view bytes);
  // The next complete line, without its break, or nullopt when none is complete.
  std::optional<std::string> NextLine();
  // At end of stream: the unterminated remainder as a last line, or nullopt when there is none.
  std::optional<std::string> TakeRemainder();

 private:
  static std::string WithoutCr(std::string line);

  std::size_t max_line_;
  std::string buffer_;
};

}  // namespace qelto::cidr
