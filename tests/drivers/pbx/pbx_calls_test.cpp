// The telephone system's calls from its events alone: what is remembered, what waits, what a
// caller's number may be, and the events that tell an answer.

#include "drivers/pbx/pbx_calls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ami_transcript.h"

namespace qelto::cidr {

void PrintTo(const PbxCall& call, std::ostream* out) {
  *out << call.line << ":" << call.digits << " (" << call.key << ")";
}

namespace {

using namespace testing_support;

constexpr std::int32_t kLine = 3;

// A call from outside on the trunk, with its own key as Linkedid; `caller` empty: withheld.
AmiChannel Incoming(const std::string& key, const std::string& caller = "") {
  return {"PJSIP/provider-" + key, "from-trunk", "02155550000", caller, key, key};
}

std::vector<AmiMessage> Messages(const std::string& transcript) {
  AmiReader reader;
  std::string error;
  std::vector<AmiMessage> messages = reader.Append(transcript, error);
  EXPECT_EQ(error, "");
  return messages;
}

struct TrackerCase {
  const char* name;
  std::vector<std::string> remembered;  // keys an earlier run reported
  std::string before;                   // events whose calls are not looked at
  bool listing = false;                 // `events` answer a listing of the calls in progress
  std::string events;
  std::vector<PbxCall> reported;  // what `events` make known
};

void PrintTo(const TrackerCase& c, std::ostream* out) {
  *out << c.name;
}

std::vector<std::string> Keys(int from, int to) {
  std::vector<std::string> keys;
  for (int i = from; i < to; ++i) keys.push_back("k" + std::to_string(i));
  return keys;
}

// Withheld calls wait until something tells they are from outside and rang: as many as the cap.
std::string WithheldCallsWaiting(int count) {
  std::string events;
  for (const std::string& key : Keys(0, count)) events += Newchannel(Incoming(key));
  return events;
}
std::vector<PbxCall> Withheld(int from, int to) {
  std::vector<PbxCall> calls;
  for (const std::string& key : Keys(from, to)) calls.push_back({kLine, "", key});
  return calls;
}

const std::string kDigits32(32, '9');
const int kRemembered = static_cast<int>(PbxCallTracker::kRememberedCalls);
const int kPending = static_cast<int>(PbxCallTracker::kMaxPendingCalls);

class PbxCalls : public testing::TestWithParam<TrackerCase> {};

TEST_P(PbxCalls, AreKnownFromTheirEvents) {
  const TrackerCase& c = GetParam();
  PbxCallTracker tracker(kLine, PbxSettings{});
  tracker.Remembered(c.remembered);
  for (const AmiMessage& event : Messages(c.before)) tracker.OnEvent(event);
  if (c.listing) tracker.OnListingBegun();
  std::vector<PbxCall> reported;
  for (const AmiMessage& event : Messages(c.events)) {
    for (PbxCall& call : tracker.OnEvent(event)) reported.push_back(std::move(call));
  }
  EXPECT_EQ(reported, c.reported);
}

INSTANTIATE_TEST_SUITE_P(
    Tracker, PbxCalls,
    testing::Values(
        // Only the last kRememberedCalls keys are remembered: the oldest goes first.
        TrackerCase{"RememberedUpToTheCap",
                    Keys(0, kRemembered),
                    "",
                    false,
                    Newchannel(Incoming("k0", "0912")),
                    {}},
        TrackerCase{"OldestForgottenBeyondTheCap",
                    Keys(0, kRemembered + 1),
                    "",
                    false,
                    Newchannel(Incoming("k0", "0912")),
                    {{kLine, "0912", "k0"}}},
        TrackerCase{"ACallReportedNowPushesOutTheOldest",
                    Keys(1, kRemembered + 1),
                    "",
                    false,
                    Newchannel(Incoming("k0", "0912")) + Newchannel(Incoming("k0", "0912")) +
                        Newchannel(Incoming("k1", "0913")),
                    {{kLine, "0912", "k0"}, {kLine, "0913", "k1"}}},
        // Calls waiting beyond the cap: the oldest is dropped, so a listing that ends without it
        // no longer reports it.
        TrackerCase{"PendingUpToTheCap",
                    {},
                    WithheldCallsWaiting(kPending),
                    true,
                    ChannelsInProgress({}),
                    Withheld(0, kPending)},
        TrackerCase{"OldestPendingDroppedBeyondTheCap",
                    {},
                    WithheldCallsWaiting(kPending + 1),
                    true,
                    ChannelsInProgress({}),
                    Withheld(1, kPending + 1)},
        // A caller's number of more than 32 digits is no number: the call is withheld.
        TrackerCase{"ThirtyTwoDigits",
                    {},
                    "",
                    false,
                    Newchannel(Incoming("k1", kDigits32)),
                    {{kLine, kDigits32, "k1"}}},
        TrackerCase{
            "ThirtyThreeDigits",
            {},
            "",
            false,
            Newchannel(Incoming("k1", kDigits32 + "9")) + Hangup(Incoming("k1", kDigits32 + "9")),
            {{kLine, "", "k1"}}},
        TrackerCase{"ThirtyThreeDigitsWithThePlusDialled",
                    {},
                    "",
                    false,
                    Newchannel(Incoming("k1", "+" + kDigits32.substr(1))) +
                        Hangup(Incoming("k1", "+" + kDigits32.substr(1))),
                    {{kLine, "", "k1"}}},
        TrackerCase{"ThirtyTwoDigitsWithThePlusDialled",
                    {},
                    "",
                    false,
                    Newchannel(Incoming("k1", "+" + kDigits32.substr(2))),
                    {{kLine, "00" + kDigits32.substr(2), "k1"}}},
        // A withheld call is reported once answered, whichever of the two fields tells it.
        TrackerCase{"AnsweredByItsState",
                    {},
                    Newchannel(Incoming("k1")),
                    false,
                    Without(Answered(Incoming("k1")), "ChannelStateDesc"),
                    {{kLine, "", "k1"}}},
        TrackerCase{"AnsweredByItsDescriptionAlone",
                    {},
                    Newchannel(Incoming("k1")),
                    false,
                    Without(Answered(Incoming("k1")), "ChannelState"),
                    {{kLine, "", "k1"}}},
        TrackerCase{"ANewstateThatIsNoAnswer",
                    {},
                    Newchannel(Incoming("k1")),
                    false,
                    InState(AmiEvent("Newstate", AmiFields(Incoming("k1"))), "5", "Ringing"),
                    {}}),
    [](const testing::TestParamInfo<TrackerCase>& shown) { return shown.param.name; });

}  // namespace
}  // namespace qelto::cidr
