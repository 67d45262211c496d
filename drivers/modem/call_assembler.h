#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "drivers/modem/modem_line.h"

namespace qelto::cidr {

// Turns one modem's RING and caller-ID lines into calls: one report per incoming call, carrying
// the caller's digits (empty when the number was withheld or never came). Pure; the time is
// passed in with every input, so tests run the clock.
//
// A call begins with a RING or a caller-ID line while no call is in progress, and it is over
// once neither came for the ring timeout. It is reported
//  - at its number line (NMBR, DDN_NMBR): with the digits of the number;
//  - at a RING that follows caller-ID lines without a number: with no digits;
//  - at its second RING when no caller-ID line came before: with no digits (a ring-only call);
//  - when it is over, or the port is lost, without having been reported: with no digits (a
//    call that rang once).
// Once reported, a call ignores further caller-ID blocks with the same number (modems and
// exchanges repeat them), and further number lines of the block it was reported from (a modem
// may give DDN_NMBR = 09121110007 and NMBR = 9121110007 for one caller: the first is reported).
// A block ends at a RING, or where a DATE or TIME line follows its number. A number line with
// another number outside that block can only be a new call, which is reported at once. Numbers
// are taken as NumberDigits reads them: a leading "+" is written "00".
class CallAssembler {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  explicit CallAssembler(std::chrono::milliseconds ring_timeout) : ring_timeout_(ring_timeout) {}

  // Feeds one line; returns the digits of each call it completes, in order (a line may end one
  // call that was never reported and begin another).
  std::vector<std::string> OnLine(const ModemLine& line, TimePoint now);
  // Lets time pass: a call quiet for the ring timeout is over.
  std::vector<std::string> OnTime(TimePoint now);
  // The port was lost: the call in progress is over.
  std::vector<std::string> Flush();
  // When OnTime has something to do, or nullopt while no call is in progress.
  std::optional<TimePoint> Deadline() const;
  // The number lines passed over since the last call, each with why ("number 555: ..."), so a
  // replay of the raw data can show them.
  std::vector<std::string> TakeDropped() { return std::exchange(dropped_, {}); }

 private:
  // No default member initialisers: clang cannot use them before the enclosing class is
  // complete, which std::optional<Call> needs.
  struct Call {
    int rings;
    bool block;                           // caller-ID lines came
    bool number_in_block;                 // the block being read has had its number line
    std::optional<std::string> reported;  // the digits reported, once reported
    TimePoint last_heard;
  };

  void OnRing(std::vector<std::string>& reports);
  void OnNumber(std::string digits, std::vector<std::string>& reports, TimePoint now);
  void Report(std::string digits, std::vector<std::string>& reports);
  Call& Begin(TimePoint now);

  std::chrono::milliseconds ring_timeout_;
  std::optional<Call> call_;
  std::vector<std::string> dropped_;
};

}  // namespace qelto::cidr
