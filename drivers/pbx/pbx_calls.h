#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "drivers/driver_config.h"
#include "drivers/pbx/ami_reader.h"

namespace qelto::cidr {

// One call to report: its line and the caller's digits (empty when withheld), and the key the
// tracker knows it by, to be kept where a later run finds it.
struct PbxCall {
  std::int32_t line = 0;
  std::string digits;
  std::string key;

  friend bool operator==(const PbxCall&, const PbxCall&) = default;
};

// Turns a telephone system's call events into the incoming calls to report, each once. Pure.
//
// A call is the set of channels sharing a Linkedid (the first channel's Uniqueid; a system that
// sends no Linkedid, Asterisk 11, has only the Uniqueid, which is then the key). Only the first
// channel of a call speaks for it, so the many channels a ring group, queue or follow-me make
// for one call change nothing. That channel's call is from outside when its context is an
// inbound context, or its name begins with a trunk prefix, and the system did not dial it out
// by itself: a channel the system dials (an Originate, a call-back, a call file) rings the other
// end (state 5, Ringing) and is the destination of a Dial without a caller, where a call coming
// in rings the system (state 4, Ring).
//
// It is reported as soon as it rang and the caller's number is known (Newchannel, Newstate,
// NewCallerid, DialBegin, Dial with SubEvent Begin); a caller with no digits (anonymous,
// <unknown>, empty) is reported withheld once the call rings an extension (DialBegin, Dial), is
// answered (Newstate Up), ends (Hangup) or is listed in progress (CoreShowChannel), so no call
// goes unrecorded. Without Linkedids (Asterisk 11) every call is reported at such a moment,
// since only the Dial events tell the channels a call dialled (their DestUniqueID) from first
// ones. The line is the did_line of the dialled number (the first channel's Exten in an inbound
// context) or else the device's.
//
// Reported keys are remembered (the last kRememberedCalls, and those of earlier runs given to
// Remembered), so a call seen again after a lost connection or a restart is not reported twice.
// Calls not yet reported are kept across a lost connection too; a listing of the calls in
// progress (CoreShowChannels) after it tells which of them ended meanwhile.
class PbxCallTracker {
 public:
  static constexpr std::size_t kRememberedCalls = 4096;
  // Calls from outside seen but not yet reported; a shop has a handful at once.
  static constexpr std::size_t kMaxPendingCalls = 256;

  PbxCallTracker(std::int32_t line, const PbxSettings& settings);

  // The calls this event makes known (none or one; more at the end of a listing).
  std::vector<PbxCall> OnEvent(const AmiMessage& event);
  // Keys reported by an earlier run, oldest first.
  void Remembered(const std::vector<std::string>& keys);
  // The system lists its calls in progress from now on, ending with CoreShowChannelsComplete: a
  // call seen before and not listed ended while the connection was away.
  void OnListingBegun();
  // The connection was lost: a listing under way will not end.
  void OnDisconnected() { listing_ = false; }
  // The calls that ended unreported since the last call, each with why, so a replay of the raw
  // data can show them.
  std::vector<std::string> TakeDropped() { return std::exchange(dropped_, {}); }

 private:
  struct Pending {
    std::string key;
    bool inbound = false;
    bool dialled = false;   // rung by another channel or dialled out: never a call from outside
    bool linked = false;    // its events carry Linkedids: surely a call's first channel
    bool rang = false;      // it rang the system: a call coming in
    bool unlisted = false;  // seen before the listing in progress, and not in it so far
    std::string exten;
    std::string digits;   // empty while unknown
    std::string channel;  // the first channel's name and context, as first seen
    std::string context;
  };

  std::vector<PbxCall> OnListingComplete();
  PbxCall Report(const Pending& call);
  void Dropped(const Pending& call);
  Pending* Find(std::string_view key);
  Pending& Track(std::string key);
  void MarkDialled(std::string_view unique);
  bool IsInbound(std::string_view context, std::string_view channel) const;
  bool IsInboundContext(std::string_view context) const;
  std::int32_t LineFor(std::string_view exten) const;
  void Remember(std::string key);
  void Forget(std::string_view key);

  std::int32_t line_;
  PbxSettings settings_;
  std::deque<Pending> pending_;
  std::unordered_set<std::string> reported_;
  std::deque<std::string> reported_order_;  // oldest first, for forgetting
  bool listing_ = false;
  std::vector<std::string> dropped_;
};

// The caller's digits from a CallerIDNum: its decimal digits, a leading "+" written "00" as it
// is dialled; empty when it holds none (anonymous, <unknown>) or too many to be a number.
std::string PbxCallerDigits(std::string_view number);

}  // namespace qelto::cidr
