#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qelto::cidr {

// Asterisk's manager interface sends nothing near this big; a message that grows beyond it is a
// server gone wrong (or not a manager interface at all).
inline constexpr std::size_t kMaxAmiMessage = 64 * 1024;

// One message of the manager interface: "Key: Value" lines ended by a blank line. Keys may
// repeat (ChanVariable, say) and are compared in any letter case.
struct AmiMessage {
  std::vector<std::pair<std::string, std::string>> fields;

  // The value of the first field named `key`, or empty.
  std::string_view Get(std::string_view key) const;
};

// Cuts the byte stream of one manager connection into messages. Lines end with LF, CR LF
// tolerated. The first line of a connection may be the greeting ("Asterisk Call Manager/5.0"),
// which has no colon and no blank line after it; it is skipped (and needs not come). Pure.
//
// A value is text with whatever bytes the system passes on: a caller's name may hold any byte but
// LF (NUL and the other control bytes too), and it is kept as it came. Only a stream that is not
// a manager interface at all is an error, after which the connection makes no sense and is to be
// dropped: a line without a colon, a control byte (other than tab and CR) before a line's colon,
// in a key or in the greeting, and a message over kMaxAmiMessage bytes, which is also how a flood
// without line ends ends. Memory stays within that bound whatever arrives.
class AmiReader {
 public:
  // The messages that `bytes` complete, in order. On an error the messages before it are
  // returned, `error` says what was wrong, and the reader must be Reset before it is used again.
  std::vector<AmiMessage> Append(std::string_view bytes, std::string& error);
  // Forgets everything, for a new connection.
  void Reset();

 private:
  bool TakeLine(std::string_view line, std::vector<AmiMessage>& out, std::string& error);

  std::string line_;
  bool in_value_ = false;  // the line's colon has come: what follows is a value
  AmiMessage message_;
  std::size_t message_bytes_ = 0;
  bool first_line_ = true;
};

}  // namespace qelto::cidr
