// The telephone system's device over whole transcripts: what the server says (and when, and
// whether the connection holds), against the calls, status texts and requests that result.

#include "drivers/pbx/pbx_device.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "ami_transcript.h"
#include "drivers/pbx/md5.h"
#include "drivers/pbx/reported_calls.h"

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;
using namespace testing_support;
using Strings = std::vector<std::string>;

const PbxDevice::TimePoint kStart{1h};

std::string FakeMd5(std::string_view bytes) {
  return "md5(" + std::string(bytes) + ")";
}

const std::string kGreeting = "Asterisk Call Manager/5.0.1\r\n";
const std::string kChallenge =
    "Response: Success\r\nActionID: qelto-challenge\r\nChallenge: 123456789\r\n\r\n";
const std::string kAccepted =
    "Response: Success\r\nActionID: qelto-login\r\nMessage: Authentication accepted\r\n\r\n"
    "Event: FullyBooted\r\nPrivilege: system,all\r\nUptime: 5\r\nStatus: Fully Booted\r\n\r\n";
// The answer to CoreShowChannels when no call is in progress.
const std::string kNoneInProgress =
    "Response: Success\r\nActionID: qelto-channels\r\nEventList: start\r\n"
    "Message: Channels will follow\r\n\r\n"
    "Event: CoreShowChannelsComplete\r\nActionID: qelto-channels\r\nEventList: Complete\r\n"
    "ListItems: 0\r\n\r\n";
const std::string kLogin = kGreeting + kChallenge + kAccepted + kNoneInProgress;
const std::string kPong =
    "Response: Success\r\nActionID: qelto-ping\r\nPing: Pong\r\nTimestamp: 1.5\r\n\r\n";

// The channels of the transcripts, as a FreePBX names them.
const AmiChannel kTrunk{"PJSIP/provider-00000001",
                        "from-trunk",
                        "02155550000",
                        "09121234567",
                        "1700000000.1",
                        "1700000000.1"};
AmiChannel Leg(const std::string& extension, int n, const std::string& linked = "1700000000.1") {
  return {"PJSIP/" + extension + "-0000000" + std::to_string(n),
          "from-internal",
          extension,
          "09121234567",
          "1700000000." + std::to_string(n),
          linked};
}
AmiChannel Caller(AmiChannel channel, std::string caller) {
  channel.caller = std::move(caller);
  return channel;
}

// One thing that happens to the connection.
struct Step {
  enum class Kind { kBytes, kByteWise, kAfter, kLost, kReconnect } kind = Kind::kBytes;
  std::string bytes;
  std::chrono::seconds after{};
};
Step Bytes(std::string bytes) {
  return {Step::Kind::kBytes, std::move(bytes), {}};
}
Step ByteWise(std::string bytes) {
  return {Step::Kind::kByteWise, std::move(bytes), {}};
}
Step After(std::chrono::seconds seconds) {
  return {Step::Kind::kAfter, {}, seconds};
}
Step Lost() {
  return {Step::Kind::kLost, {}, {}};
}
Step Reconnect() {
  return {Step::Kind::kReconnect, {}, {}};
}

struct Transcript {
  std::string name;
  std::vector<Step> steps;
  Strings calls;     // "line:digits"
  Strings statuses;  // without "SLine 3: pbx "
  bool connected = true;
  std::chrono::seconds retry{1};
  Strings sent;  // requests sent, in order, by their Action line
  PbxSettings settings = {};
};

// Rows print by name: the bytes of their strings would print their pointers.
void PrintTo(const Transcript& transcript, std::ostream* out) {
  *out << transcript.name;
}

PbxSettings Plain() {
  PbxSettings settings;
  settings.plain_login = true;
  return settings;
}

PbxSettings Mapped() {
  PbxSettings settings;
  settings.did_lines = {{"02155550000", 8}};
  settings.trunks = {"SIP/provider"};
  return settings;
}

const std::string kReady = "ready at pbx:5038 as qelto";

class PbxTranscripts : public testing::TestWithParam<Transcript> {};

TEST_P(PbxTranscripts, GiveTheirCallsAndStatuses) {
  const Transcript& transcript = GetParam();
  PbxSettings settings = transcript.settings;
  settings.host = "pbx";
  settings.user = "qelto";
  settings.secret = "s3cr3t";
  PbxDevice device(3, settings, &FakeMd5);
  Strings calls;
  Strings statuses;
  Strings sent;
  std::string shown;
  bool closed = false;
  const auto take = [&](const DeviceStep& step) {
    for (const DriverEvent& event : step.events) {
      const std::string text(event.text.begin(), event.text.end());
      if (event.code == 0) {
        ASSERT_TRUE(text.starts_with("SLine 3: pbx ")) << text;
        statuses.push_back(text.substr(13));
      } else {
        ASSERT_EQ(text.front(), 'C');
        calls.push_back(std::to_string(event.code) + ":" + text.substr(1));
      }
    }
    for (std::size_t at = step.send.find("Action: "); at != std::string::npos;) {
      const std::size_t next = step.send.find("Action: ", at + 1);
      const std::string request = step.send.substr(at, next - at);
      std::string action = request.substr(8, request.find('\r') - 8);
      if (request.find("Key: md5(123456789s3cr3t)") != std::string::npos) action += " with key";
      if (request.find("Secret: s3cr3t\r\n") != std::string::npos) action += " with secret";
      sent.push_back(action);
      at = next;
    }
    shown += step.send_shown;
    closed = closed || step.close;
  };
  PbxDevice::TimePoint now = kStart;
  take(device.OnOpened(now));
  for (const Step& step : transcript.steps) {
    switch (step.kind) {
      case Step::Kind::kBytes:
        take(device.OnBytes(step.bytes, now));
        break;
      case Step::Kind::kByteWise:
        for (const char c : step.bytes) take(device.OnBytes(std::string(1, c), now));
        break;
      case Step::Kind::kAfter:
        // Time passes in steps, as the worker's poll wakes at each deadline.
        for (const auto until = now + step.after; now < until;) {
          now = std::min(until, device.Deadline().value_or(until));
          take(device.OnTime(now));
        }
        break;
      case Step::Kind::kLost:
        take(device.OnLost("closed by the server"));
        break;
      case Step::Kind::kReconnect:
        if (device.connected()) take(device.OnLost("closed by the server"));
        now += device.RetryDelay();
        take(device.OnOpened(now));
        break;
    }
  }
  EXPECT_EQ(calls, transcript.calls);
  EXPECT_EQ(statuses, transcript.statuses);
  EXPECT_EQ(device.connected(), transcript.connected);
  EXPECT_EQ(device.RetryDelay(), transcript.retry);
  EXPECT_EQ(sent, transcript.sent);
  // The secret and the key never reach the raw data file.
  EXPECT_EQ(shown.find("s3cr3t"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("md5("), std::string::npos) << shown;
  // No deadline may lie in the past once its time was given, or the worker would spin.
  if (!closed && device.Deadline()) {
    EXPECT_GT(*device.Deadline(), now);
  }
}

const Strings kMd5Login = {"Challenge", "Login with key", "CoreShowChannels"};

// A ring group of three extensions, as FreePBX's ext-group rings them.
std::string RingGroup() {
  std::string text = Newchannel(kTrunk);
  for (int n = 2; n <= 4; ++n) {
    const AmiChannel leg = Leg(std::to_string(200 + n), n);
    text += Newchannel(leg) + DialBegin(kTrunk, leg);
  }
  text += Answered(Leg("203", 3)) + DialEnd(kTrunk, Leg("203", 3));
  for (int n = 2; n <= 4; ++n) text += Hangup(Leg(std::to_string(200 + n), n));
  return text + Hangup(kTrunk);
}

// A queue rings its members through Local channels, each pair of its own.
std::string Queue() {
  std::string text = Newchannel(kTrunk) + Answered(kTrunk);
  for (int n = 2; n <= 5; n += 3) {
    const AmiChannel local1{"Local/201@from-queue-0000000" + std::to_string(n) + ";1",
                            "from-queue",
                            "201",
                            "09121234567",
                            "1700000000." + std::to_string(n),
                            "1700000000.1"};
    AmiChannel local2 = local1;
    local2.name.back() = '2';
    local2.unique = "1700000000." + std::to_string(n + 1);
    const AmiChannel phone = Leg("201", n + 2);
    text += Newchannel(local1) + Newchannel(local2) + DialBegin(kTrunk, local1) +
            DialBegin(local2, phone) + Hangup(phone) + Hangup(local2) + Hangup(local1);
  }
  return text + Hangup(kTrunk);
}

// A caller's name holding `byte`, as a telephone system passes on whatever the trunk sent.
std::string NamedCall(const AmiChannel& trunk, char byte) {
  std::string text = Newchannel(trunk);
  const std::string plain = "CallerIDName: <unknown>";
  return text.replace(text.find(plain), plain.size(),
                      std::string("CallerIDName: Ali") + byte + "Reza");
}

// Another call from outside, `n`, from `caller`.
AmiChannel Outside(int n, const std::string& caller) {
  const std::string unique = "1700000100." + std::to_string(n);
  return {"PJSIP/provider-0000010" + std::to_string(n),
          "from-trunk",
          "02155550000",
          caller,
          unique,
          unique};
}

// Rings the trunk first, as an Originate or a call-back does: the system dials out by itself,
// which the Dial without a caller tells (Asterisk 12 and later), or the state Ringing of the far
// end (`ringing`).
std::string Originated(const AmiChannel& trunk, bool ringing) {
  std::string text = InState(Newchannel(trunk), "0", "Down");
  text += ringing ? InState(AmiEvent("Newstate", AmiFields(trunk)), "5", "Ringing")
                  : DialBeginWithoutCaller(trunk);
  return text + Answered(trunk) + DialBegin(trunk, Leg("201", 2, trunk.linked)) + Hangup(trunk);
}

// After a lost connection, in the middle of the call: FreePBX has moved it to a ring group.
AmiChannel InRingGroup(AmiChannel channel) {
  channel.context = "ext-group";
  return channel;
}

const AmiChannel kAsterisk11Withheld{
    "SIP/provider-00000001", "from-trunk", "02155550000", "anonymous", "1400000000.1", ""};
const std::string kLostThenReady = "lost at pbx:5038 (closed by the server), reconnecting";
const Strings kTwoLogins = {"Challenge", "Login with key", "CoreShowChannels",
                            "Challenge", "Login with key", "CoreShowChannels"};
const std::string kRelogin = kChallenge + kAccepted;
const std::string kNoPing = "lost at pbx:5038 (no answer to Ping), reconnecting";

INSTANTIATE_TEST_SUITE_P(
    Table, PbxTranscripts,
    testing::Values(
        Transcript{"IncomingCallToOneExtension",
                   {Bytes(kLogin + Newchannel(kTrunk) + DialBegin(kTrunk, Leg("201", 2)) +
                          Answered(Leg("201", 2)) + Hangup(Leg("201", 2)) + Hangup(kTrunk))},
                   {"3:09121234567"},
                   {kReady},
                   true,
                   1s,
                   kMd5Login},
        Transcript{"RingGroupOfThreeIsOneCall",
                   {Bytes(kLogin + RingGroup())},
                   {"3:09121234567"},
                   {kReady},
                   true,
                   1s,
                   kMd5Login},
        Transcript{"QueueIsOneCall",
                   {Bytes(kLogin + Queue())},
                   {"3:09121234567"},
                   {kReady},
                   true,
                   1s,
                   kMd5Login},
        Transcript{"InternalCallIsNone",
                   {Bytes(kLogin + Newchannel(Leg("201", 7, "1700000000.7")) +
                          DialBegin(Leg("201", 7, "1700000000.7"), Leg("202", 8, "1700000000.7")) +
                          Hangup(Leg("201", 7, "1700000000.7")))},
                   {},
                   {kReady},
                   true,
                   1s,
                   kMd5Login},
        // Dialled out through a trunk: the trunk's channel is not the call's first one.
        Transcript{"OutgoingCallIsNone",
                   {Bytes(kLogin + Newchannel(Leg("201", 7, "1700000000.7")) +
                          Newchannel({"SIP/provider-00000008", "from-trunk", "09121234567",
                                      "02155550000", "1700000000.8", "1700000000.7"}) +
                          Hangup(Leg("201", 7, "1700000000.7")))},
                   {},
                   {kReady},
                   true,
                   1s,
                   kMd5Login,
                   Mapped()},
        Transcript{"DialledNumberGivesItsLine",
                   {Bytes(kLogin + Newchannel(kTrunk) + Hangup(kTrunk))},
                   {"8:09121234567"},
                   {kReady},
                   true,
                   1s,
                   kMd5Login,
                   Mapped()},
        // A custom context, but the channel comes from a listed trunk; the number arrives late.
        Transcript{"TrunkPrefixAndLateNumber",
                   {
                       Bytes(kLogin +
                             Newchannel({"SIP/provider-00000003", "custom-in", "s", "",
                                         "1700000000.3", "1700000000.3"}) +
                             AmiEvent("NewCallerid", AmiFields({"SIP/provider-00000003",
                                                                "custom-in", "s", "+989121234567",
                                                                "1700000000.3", "1700000000.3"}))),
                   },
                   {"3:00989121234567"},
                   {kReady},
                   true,
                   1s,
                   kMd5Login,
                   Mapped()},
        Transcript{"AnonymousCallerIsWithheldOnceItRings",
                   {Bytes(kLogin + Newchannel(Caller(kTrunk, "anonymous")) +
                          Answered(Caller(kTrunk, "anonymous"))),
                    Bytes(DialBegin(Caller(kTrunk, "anonymous"), Leg("201", 2)) +
                          Hangup(Caller(kTrunk, "anonymous")))},
                   {"3:"},
                   {kReady},
                   true,
                   1s,
                   kMd5Login},
        Transcript{"UnknownCallerWhoHangsUpAtOnceIsStillRecorded",
                   {Bytes(kLogin + Newchannel(Caller(kTrunk, "<unknown>")) +
                          Hangup(Caller(kTrunk, "<unknown>")))},
                   {"3:"},
                   {kReady},
                   true,
                   1s,
                   kMd5Login},
        // Asterisk 11: no Linkedid; the dialled trunk of an outgoing call has an inbound context.
        Transcript{"Asterisk11",
                   {Bytes(kLogin +
                          Newchannel({"SIP/provider-00000001", "from-trunk", "02155550000",
                                      "09121234567", "1400000000.1", ""}) +
                          Newchannel({"SIP/201-00000002", "from-internal", "201", "09121234567",
                                      "1400000000.2", ""}) +
                          Dial11({"SIP/provider-00000001", "from-trunk", "", "09121234567",
                                  "1400000000.1", ""},
                                 {"SIP/201-00000002", "", "201", "", "1400000000.2", ""}) +
                          Hangup({"SIP/201-00000002", "from-internal", "201", "09121234567",
                                  "1400000000.2", ""})),
                    Bytes(Newchannel({"SIP/202-00000003", "from-internal", "0912", "202",
                                      "1400000000.3", ""}) +
                          Newchannel({"SIP/provider-00000004", "from-trunk", "", "02155550000",
                                      "1400000000.4", ""}) +
                          Dial11({"SIP/202-00000003", "", "", "202", "1400000000.3", ""},
                                 {"SIP/provider-00000004", "", "0912", "", "1400000000.4", ""}) +
                          Answered({"SIP/provider-00000004", "from-trunk", "", "02155550000",
                                    "1400000000.4", ""}) +
                          Hangup({"SIP/provider-00000004", "from-trunk", "", "02155550000",
                                  "1400000000.4", ""}))},
                   {"3:09121234567"},
                   {kReady},
                   true,
                   1s,
                   kMd5Login},
        // The system restarts while the call rings: after the reconnect the same call goes on.
        Transcript{
            "RestartInTheMiddleOfACall",
            {Bytes(kLogin + Newchannel(kTrunk) + DialBegin(kTrunk, Leg("201", 2))), Lost(),
             Reconnect(),
             Bytes(kChallenge + kAccepted + kNoneInProgress + DialBegin(kTrunk, Leg("202", 3)) +
                   Answered(Leg("202", 3)) + Hangup(kTrunk) +
                   Newchannel(Caller({"PJSIP/provider-00000009", "from-trunk", "021", "",
                                      "1700000000.9", "1700000000.9"},
                                     "02188887777")))},
            {"3:09121234567", "3:02188887777"},
            {kReady, "lost at pbx:5038 (closed by the server), reconnecting", kReady},
            true,
            1s,
            {"Challenge", "Login with key", "CoreShowChannels", "Challenge", "Login with key",
             "CoreShowChannels"}},
        // Any byte but LF in a caller's name is the name's: both calls of one read are taken.
        Transcript{"ControlBytesInNamesKeepTheConnection",
                   {Bytes(kLogin + NamedCall(kTrunk, '\x01') + Hangup(kTrunk) +
                          NamedCall(Outside(2, "02188887777"), '\0') +
                          NamedCall(Outside(3, "02133334444"), '\x1f'))},
                   {"3:09121234567", "3:02188887777", "3:02133334444"},
                   {kReady},
                   true,
                   1s,
                   kMd5Login},
        // A withheld caller seen before the connection was lost, then in another context.
        Transcript{
            "WithheldCallAcrossAReconnectIsRecordedOnce",
            {Bytes(kLogin + Newchannel(Caller(kTrunk, "anonymous"))), Lost(), Reconnect(),
             Bytes(kRelogin +
                   ChannelsInProgress({AmiFields(InRingGroup(Caller(kTrunk, "anonymous")))}) +
                   Hangup(InRingGroup(Caller(kTrunk, "anonymous"))))},
            {"3:"},
            {kReady, kLostThenReady, kReady},
            true,
            1s,
            kTwoLogins},
        // Asterisk 11 lists its channels without Linkedids: a listed one is still not over.
        Transcript{"Asterisk11CallListedAfterAReconnectGoesOn",
                   {Bytes(kLogin + Newchannel(kAsterisk11Withheld)), Lost(), Reconnect(),
                    Bytes(kRelogin + ChannelsInProgress({AmiFields(kAsterisk11Withheld)}) +
                          Hangup(InRingGroup(kAsterisk11Withheld)))},
                   {"3:"},
                   {kReady, kLostThenReady, kReady},
                   true,
                   1s,
                   kTwoLogins},
        // It rang while the connection was away and ended before it was back.
        Transcript{"CallThatEndedInTheGapIsRecorded",
                   {Bytes(kLogin + Newchannel(Caller(kTrunk, "<unknown>"))), Lost(), Reconnect(),
                    Bytes(kRelogin + kNoneInProgress)},
                   {"3:"},
                   {kReady, kLostThenReady, kReady},
                   true,
                   1s,
                   kTwoLogins},
        // It began while the connection (or the recorder) was away: the listing brings it, once.
        Transcript{"CallInProgressAtTheLoginIsRecordedOnce",
                   {Bytes(kGreeting + kChallenge + kAccepted +
                          ChannelsInProgress({AmiFields(kTrunk), AmiFields(Leg("201", 2))}) +
                          Answered(kTrunk) + Hangup(Leg("201", 2)) + Hangup(kTrunk))},
                   {"3:09121234567"},
                   {kReady},
                   true,
                   1s,
                   kMd5Login},
        // Reported before the connection was lost, listed and heard of again after it.
        Transcript{"ReportedCallAcrossAReconnectIsNotAgain",
                   {Bytes(kLogin + Newchannel(kTrunk)), Lost(), Reconnect(),
                    Bytes(kRelogin + ChannelsInProgress({AmiFields(kTrunk)}) + Answered(kTrunk) +
                          Hangup(kTrunk))},
                   {"3:09121234567"},
                   {kReady, kLostThenReady, kReady},
                   true,
                   1s,
                   kTwoLogins},
        Transcript{"ListingRefusedIsToldOnce",
                   {Bytes(kGreeting + kChallenge + kAccepted +
                          "Response: Error\r\nActionID: qelto-channels\r\n"
                          "Message: Permission denied\r\n\r\n" +
                          Newchannel(kTrunk)),
                    Reconnect(),
                    Bytes(kRelogin + "Response: Error\r\nActionID: qelto-channels\r\n"
                                     "Message: Permission denied\r\n\r\n")},
                   {"3:09121234567"},
                   {kReady,
                    "cannot list the calls in progress at pbx:5038 (Permission denied): give the "
                    "manager user write = reporting, or a call that rings while the connection is "
                    "away may be lost",
                    kLostThenReady, kReady},
                   true,
                   1s,
                   kTwoLogins},
        // The system dials the trunk first, as an Originate or a call-back does: not a call from
        // outside, though its channel is the trunk's and its number is known at once. A call that
        // comes in on a Newchannel in state Down is taken once it rings.
        Transcript{
            "CallTheSystemOriginatesIsNone",
            {Bytes(kLogin +
                   Originated({"SIP/provider-00000005", "from-trunk", "s", "02155550000",
                               "1700000000.5", "1700000000.5"},
                              false) +
                   Originated({"SIP/provider-00000007", "custom", "s", "02155550000",
                               "1700000000.7", "1700000000.7"},
                              true) +
                   InState(Newchannel({"SIP/provider-00000006", "custom", "s", "0912",
                                       "1700000000.6", "1700000000.6"}),
                           "0", "Down") +
                   AmiEvent("Newstate", AmiFields({"SIP/provider-00000006", "custom", "s", "0912",
                                                   "1700000000.6", "1700000000.6"})))},
            {"3:0912"},
            {kReady},
            true,
            1s,
            kMd5Login,
            Mapped()},
        // A server that lets us in and then stops answering: each login starts the waits anew.
        Transcript{"LoginResetsTheBackoff",
                   {Bytes(kLogin), After(31s), Reconnect(), Bytes(kRelogin + kNoneInProgress),
                    After(31s), Reconnect(), Bytes(kRelogin + kNoneInProgress), After(31s)},
                   {},
                   {kReady, kNoPing, kReady, kNoPing, kReady, kNoPing},
                   false,
                   1s,
                   {"Challenge", "Login with key", "CoreShowChannels", "Ping", "Challenge",
                    "Login with key", "CoreShowChannels", "Ping", "Challenge", "Login with key",
                    "CoreShowChannels", "Ping"}},
        Transcript{"LoginRefused",
                   {Bytes(kGreeting + kChallenge +
                          "Response: Error\r\nActionID: qelto-login\r\n"
                          "Message: Authentication failed\r\n\r\n"),
                    Reconnect(),
                    Bytes(kChallenge + "Response: Error\r\nActionID: qelto-login\r\n"
                                       "Message: Authentication failed\r\n\r\n")},
                   {},
                   {"login refused at pbx:5038 for user qelto (Authentication failed), retrying "
                    "every 60 s"},
                   false,
                   60s,
                   {"Challenge", "Login with key", "Challenge", "Login with key"}},
        Transcript{"PlainLogin",
                   {Bytes(kGreeting + kAccepted)},
                   {},
                   {kReady},
                   true,
                   1s,
                   {"Login with secret", "CoreShowChannels"},
                   Plain()},
        // No greeting, bare LF, keys repeated and in other cases, events we do not know, all
        // arriving a byte at a time.
        Transcript{"NoGreetingBareLfAndOddEvents",
                   {ByteWise("response: Success\nActionID: qelto-challenge\nCHALLENGE: 42\n\n"
                             "Response: Success\nActionID: qelto-login\n\n"
                             "Event: PeerStatus\nPeer: PJSIP/201\nPeerStatus: Reachable\n\n"
                             "Event: VarSet\nChannel: PJSIP/provider-1\nVariable: A\nValue: "
                             "x:y\nVariable: B\n\n" +
                             Newchannel(kTrunk))},
                   {"3:09121234567"},
                   {kReady},
                   true,
                   1s,
                   {"Challenge", "Login", "CoreShowChannels"}},
        Transcript{"PingsKeepItAlive",
                   {Bytes(kLogin), After(20s), Bytes(kPong), After(20s), Bytes(kPong), After(15s)},
                   {},
                   {kReady},
                   true,
                   1s,
                   {"Challenge", "Login with key", "CoreShowChannels", "Ping", "Ping"}},
        Transcript{"NoAnswerToPing",
                   {Bytes(kLogin), After(31s)},
                   {},
                   {kReady, "lost at pbx:5038 (no answer to Ping), reconnecting"},
                   false,
                   1s,
                   {"Challenge", "Login with key", "CoreShowChannels", "Ping"}},
        // One byte now and then: the login is never answered in time.
        Transcript{"SlowServer",
                   {Bytes("R"), After(9s), Bytes("e"), After(2s), Reconnect(), After(11s)},
                   {},
                   {"unavailable at pbx:5038 (no answer to Challenge), retrying"},
                   false,
                   2s,
                   {"Challenge", "Challenge"}},
        Transcript{
            "LineWithoutAColon",
            {Bytes(kLogin + "Event: Newchannel\r\nthis is not a manager interface\r\n")},
            {},
            {kReady, "lost at pbx:5038 (a line without a colon from the server), reconnecting"},
            false,
            1s,
            kMd5Login},
        Transcript{"BinaryGarbage",
                   {Bytes(std::string("\x16\x03\x01\x02\x00\x01\x00", 7))},
                   {},
                   {"unavailable at pbx:5038 (binary data from the server), retrying"},
                   false,
                   1s,
                   {"Challenge"}},
        Transcript{"MessageOver64Kb",
                   {Bytes(kLogin + "Event: VarSet\r\nValue: " + std::string(70000, 'x'))},
                   {},
                   {kReady, "lost at pbx:5038 (a message over 64 KB), reconnecting"},
                   false,
                   1s,
                   kMd5Login},
        // Every failure in a row waits longer, up to 30 s, and each reason is told once.
        Transcript{"BacksOff",
                   {Lost(), Reconnect(), Lost(), Reconnect(), Lost(), Reconnect(), Lost(),
                    Reconnect(), Lost(), Reconnect(), Lost(), Reconnect(), Lost()},
                   {},
                   {"unavailable at pbx:5038 (closed by the server), retrying"},
                   false,
                   30s,
                   Strings(7, "Challenge")}),
    [](const testing::TestParamInfo<Transcript>& row) { return row.param.name; });

// What the message reader makes of bytes: any byte but LF in a value is the value's; bytes no
// manager interface sends in its keys or greeting, and a flood without line ends, are errors.
TEST(AmiReader, TakesAnyByteInValuesAndRefusesWhatIsNoManagerInterface) {
  struct Case {
    std::string bytes;
    std::string value;  // of CallerIDName in the one message expected, when no error
    std::string error;
  };
  std::vector<Case> cases;
  for (int byte = 0; byte < 0x20; ++byte) {
    if (byte == '\n') continue;
    const std::string value = std::string("Ali") + static_cast<char>(byte) + "Reza";
    cases.push_back({"Event: Newchannel\r\nCallerIDName: " + value + "\r\n\r\n", value, ""});
  }
  cases.push_back(
      {"Event: X\r\nCallerIDName: Ali\x7f\xd8\xb9Reza\r\n\r\n", "Ali\x7f\xd8\xb9Reza", ""});
  cases.push_back({"Event: X\r\nCallerID\x01Name: Ali\r\n\r\n", "", "binary data from the server"});
  cases.push_back(
      {std::string("Asterisk\0Call Manager\r\n", 24), "", "binary data from the server"});
  cases.push_back({"\x16\x03\x01\x02\x00", "", "binary data from the server"});
  cases.push_back({"Event: X\r\nAli Reza\r\n\r\n", "", "a line without a colon from the server"});
  cases.push_back(
      {"Event: X\r\nCallerIDName: " + std::string(70000, '\x01'), "", "a message over 64 KB"});
  for (const Case& c : cases) {
    AmiReader reader;
    std::string error;
    const std::vector<AmiMessage> messages = reader.Append(c.bytes, error);
    EXPECT_EQ(error, c.error) << testing::PrintToString(c.bytes);
    if (!c.error.empty()) continue;
    ASSERT_EQ(messages.size(), 1u) << testing::PrintToString(c.bytes);
    EXPECT_EQ(messages[0].Get("CallerIDName"), c.value) << testing::PrintToString(c.bytes);
  }
}

// The reported calls' file as read at a start: whole records within their age are keys, a cut
// last record is no call, and anything else makes the file not ours.
TEST(ReportedCalls, ReadsWholeRecentRecordsAndRefusesForeignFiles) {
  const std::int64_t now = 1'800'000'000;
  const std::string header = kReportedCallsHeader;
  const std::string one = "1799999000 1796899161.45\n";
  const std::string two = "1799999500 shop-1796899161.46\n";
  const std::string old = std::to_string(now - kRememberedFor - 1) + " 1796000000.1\n";
  struct Case {
    std::string text;
    std::vector<std::string> keys;
    std::size_t whole;
    bool damaged;
  };
  const std::vector<Case> cases = {
      {"", {}, 0, false},
      {header.substr(0, 7), {}, 0, false},
      {header, {}, header.size(), false},
      {header + one + two,
       {"1796899161.45", "shop-1796899161.46"},
       (header + one + two).size(),
       false},
      {header + one + "1799999500 shop-17968", {"1796899161.45"}, (header + one).size(), false},
      {header + old + one, {"1796899161.45"}, (header + old + one).size(), false},
      {header + "abc 1.2\n", {}, 0, true},
      {header + "1799999000 \n", {}, 0, true},
      {header + "1799999000 a\x01" + "b\n", {}, 0, true},
      {header + std::string(3, '\0') + "\n", {}, 0, true},
      {"PK\x03\x04 not ours\n", {}, 0, true},
  };
  for (const Case& c : cases) {
    const ReportedCallsText parsed = ParseReportedCalls(c.text, now);
    std::vector<std::string> keys;
    for (const StoredCall& call : parsed.calls) keys.push_back(call.key);
    EXPECT_EQ(keys, c.keys) << testing::PrintToString(c.text);
    EXPECT_EQ(parsed.whole_bytes, c.whole) << testing::PrintToString(c.text);
    EXPECT_EQ(parsed.damaged, c.damaged) << testing::PrintToString(c.text);
  }
  EXPECT_EQ(ReportedCallRecord(now, "1.2"), "1800000000 1.2\n");
  EXPECT_EQ(ReportedCallRecord(now, "a b"), "");
}

class ReportedCallsOnDisk : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("qelto-reported-calls-" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_);
    path_ = (folder_ / ReportedCallsFileName(3)).string();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string Text() const {
    std::ifstream file(path_, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }
  void Write(const std::string& text) const {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
  }

  const std::int64_t now_ = 1'800'000'000;
  std::filesystem::path folder_;
  std::string path_;
};

TEST_F(ReportedCallsOnDisk, KeepsKeysForTheNextRun) {
  std::string problem;
  {
    ReportedCallsFile file(path_, now_, problem);
    EXPECT_TRUE(file.keys().empty());
    file.Add("1796899161.45", now_);
    file.Add("1796899161.46", now_ + 1);
  }
  EXPECT_EQ(Text(), std::string(kReportedCallsHeader) + "1800000000 1796899161.45\n" +
                        "1800000001 1796899161.46\n");
  ReportedCallsFile again(path_, now_ + 60, problem);
  EXPECT_EQ(again.keys(), (std::vector<std::string>{"1796899161.45", "1796899161.46"}));
  EXPECT_EQ(problem, "");
}

TEST_F(ReportedCallsOnDisk, DropsACutRecordAndBeginsAForeignFileAnew) {
  std::string problem;
  Write(std::string(kReportedCallsHeader) + "1800000000 1.1\n1800000001 1.");
  {
    ReportedCallsFile file(path_, now_, problem);
    EXPECT_EQ(file.keys(), std::vector<std::string>{"1.1"});
    EXPECT_EQ(problem, "");
    file.Add("1.3", now_);
  }
  EXPECT_EQ(Text(), std::string(kReportedCallsHeader) + "1800000000 1.1\n1800000000 1.3\n");
  Write("[device]\nkind = pbx\n");
  ReportedCallsFile foreign(path_, now_, problem);
  EXPECT_TRUE(foreign.keys().empty());
  EXPECT_EQ(problem, "calls file " + path_ + " was not one of ours, begun anew");
  EXPECT_EQ(Text(), kReportedCallsHeader);
}

TEST_F(ReportedCallsOnDisk, StaysBounded) {
  std::string problem;
  {
    ReportedCallsFile file(path_, now_, problem);
    for (std::size_t n = 0; n < kMaxStoredCalls + 10; ++n) file.Add("1." + std::to_string(n), now_);
  }
  EXPECT_LE(Text().size(), kMaxStoredCalls * 24);
  ReportedCallsFile again(path_, now_, problem);
  const std::vector<std::string> keys = again.keys();
  ASSERT_EQ(keys.size(), PbxCallTracker::kRememberedCalls);
  EXPECT_EQ(keys.back(), "1." + std::to_string(kMaxStoredCalls + 9));
}

#ifndef _WIN32
// A FIFO in the file's place would hang an open that waits for a writer.
TEST_F(ReportedCallsOnDisk, ANonRegularFileIsNotWaitedOn) {
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  std::string problem;
  ReportedCallsFile file(path_, now_, problem);
  EXPECT_EQ(problem, "calls file " + path_ +
                         " not usable (not a regular file): a call in progress when the recorder "
                         "restarts may be recorded twice");
  file.Add("1.1", now_);  // kept in memory only
  EXPECT_TRUE(file.keys() == std::vector<std::string>{"1.1"});
}
#endif

#ifndef _WIN32
TEST(Md5Hex, GivesTheDigestOfRfc1321) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}
#endif

}  // namespace
}  // namespace qelto::cidr
