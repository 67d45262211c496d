#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qelto::cidr {

// A caller-ID number longer than this is line noise, not a number.
inline constexpr std::size_t kMaxNumberDigits = 32;
// Modem lines are short; a longer one is noise and is dropped.
inline constexpr std::size_t kMaxModemLine = 256;

// What one line from a modem says. Caller-ID modems print each incoming call as a block of
// "KEY = VALUE" lines between the rings:
//   RING / DATE = 0321 / TIME = 1405 / NMBR = 5551234 / NAME = JOHN DOE / RING
enum class ModemLineKind {
  kRing,
  kDate,
  kTime,
  kNumber,  // NMBR or DDN_NMBR
  kName,
  kMessage,  // MESG: data the modem could not decode
  kOk,
  kError,
  kOther,  // echoes of our commands, CONNECT, NO CARRIER, noise
};

struct ModemLine {
  ModemLineKind kind = ModemLineKind::kOther;
  std::string value;  // for the KEY = VALUE kinds: the value, trimmed

  friend bool operator==(const ModemLine&, const ModemLine&) = default;
};

// Classifies one line (without its line break). Keys are matched in any letter case; blanks
// around "=" are optional; blanks, control characters and bytes above 0x7E at either end of the
// line are ignored, so noise stuck to a line does not hide it. "RING" may carry a suffix that
// does not begin with a letter ("RING 1", "RING;1234" from distinctive-ring modems). Pure.
ModemLine ParseModemLine(std::string_view line);

// Classifies one line that may hold a whole caller-ID block, as some modems print it:
// "DATE=1210 TIME=1405 NMBR=09121110007" gives three lines. A known key after a blank starts the
// next part; anything else is one line, as ParseModemLine reads it ("NAME = A=B" stays a name).
std::vector<ModemLine> ParseModemLines(std::string_view line);

// The caller's digits from a number value: the decimal digits in it, in order, others skipped
// ("555-1234" gives 5551234). Empty when the number is withheld ("P"), out of area ("O") or
// otherwise holds no digits, and when it holds more than kMaxNumberDigits digits.
std::string CallerDigits(std::string_view value);

// The caller's number as the recorder stores it: CallerDigits, with a leading "+" written "00"
// ("+98 912 111 0007" gives 00989121110007), as telephone systems' numbers are, so that one
// caller is one number whichever device took the call. Empty as CallerDigits is, and when the
// "00" makes it longer than kMaxNumberDigits.
std::string NumberDigits(std::string_view value);

// Cuts a modem's byte stream into lines. A line ends at CR, LF or both (modems end lines with
// CR LF, some with a lone CR); empty lines carry nothing and are skipped. A line longer than
// kMaxModemLine is dropped whole, up to its end, and reading goes on after it.
class ModemLineReader {
 public:
  // The lines that `bytes` complete, in order.
  std::vector<std::string> Append(std::string_view bytes);
  // Forgets a partial line, e.g. when the port was closed.
  void Clear();

 private:
  std::string partial_;
  bool overlong_ = false;
};

}  // namespace qelto::cidr
