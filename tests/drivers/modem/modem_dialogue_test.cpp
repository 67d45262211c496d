#include "drivers/modem/modem_dialogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;
using Kind = ModemDialogue::Step::Kind;
using Step = ModemDialogue::Step;
using TimePoint = ModemDialogue::TimePoint;
using Strings = std::vector<std::string>;

const TimePoint kStart{1h};
const Strings kDefaultInit = {"ATZ"};
const Strings kDefaultCallerId = {"AT+VCID=1", "AT#CID=1"};

Step Send(std::string command) {
  return {Kind::kSend, std::move(command)};
}

// A modem that answers `answers` in turn, one per command, echoing each command first as modems
// do by default; returns the commands the dialogue sent.
Strings Converse(ModemDialogue& dialogue, const Strings& answers) {
  Strings sent;
  Step step = dialogue.Start(kStart);
  for (const std::string& answer : answers) {
    if (step.kind != Kind::kSend) break;
    sent.push_back(step.text);
    EXPECT_EQ(dialogue.OnLine(ParseModemLine(step.text).kind, kStart), Step{});  // the echo
    step = dialogue.OnLine(ParseModemLine(answer).kind, kStart);
  }
  EXPECT_EQ(step.kind, Kind::kReady) << "answers left over or missing";
  EXPECT_FALSE(dialogue.running());
  return sent;
}

TEST(ModemDialogue, ResetsThenSwitchesCallerIdOnWithTheFirstCommandAccepted) {
  ModemDialogue dialogue(kDefaultInit, kDefaultCallerId);
  EXPECT_EQ(Converse(dialogue, {"OK", "OK"}), (Strings{"ATZ", "AT+VCID=1"}));
  EXPECT_EQ(dialogue.caller_id_command(), "AT+VCID=1");
  EXPECT_EQ(dialogue.refused_init(), Strings{});
}

TEST(ModemDialogue, TriesTheNextCallerIdCommandAfterAnError) {
  ModemDialogue dialogue(kDefaultInit, kDefaultCallerId);
  EXPECT_EQ(Converse(dialogue, {"OK", "ERROR", "OK"}), (Strings{"ATZ", "AT+VCID=1", "AT#CID=1"}));
  EXPECT_EQ(dialogue.caller_id_command(), "AT#CID=1");
}

TEST(ModemDialogue, IsReadyWithoutCallerIdWhenEveryCommandIsRefused) {
  ModemDialogue dialogue(kDefaultInit, kDefaultCallerId);
  EXPECT_EQ(Converse(dialogue, {"OK", "ERROR", "ERROR"}).size(), 3U);
  EXPECT_EQ(dialogue.caller_id_command(), "");
}

TEST(ModemDialogue, GoesOnPastARefusedInitCommandAndRemembersIt) {
  ModemDialogue dialogue({"AT&F", "ATX9", "ATE0"}, {"AT+VCID=1"});
  EXPECT_EQ(Converse(dialogue, {"OK", "ERROR", "OK", "OK"}),
            (Strings{"AT&F", "ATX9", "ATE0", "AT+VCID=1"}));
  EXPECT_EQ(dialogue.refused_init(), Strings{"ATX9"});
}

TEST(ModemDialogue, PassesOverLinesThatAreNoAnswer) {
  ModemDialogue dialogue(kDefaultInit, kDefaultCallerId);
  ASSERT_EQ(dialogue.Start(kStart), Send("ATZ"));
  for (const char* line : {"RING", "NMBR = 5551234", "NO CARRIER", "CONNECT"}) {
    EXPECT_EQ(dialogue.OnLine(ParseModemLine(line).kind, kStart), Step{}) << line;
  }
  EXPECT_EQ(dialogue.OnLine(ModemLineKind::kOk, kStart), Send("AT+VCID=1"));
}

TEST(ModemDialogue, FailsWhenACommandIsNotAnsweredInTime) {
  ModemDialogue dialogue(kDefaultInit, kDefaultCallerId);
  ASSERT_EQ(dialogue.Start(kStart), Send("ATZ"));
  EXPECT_EQ(dialogue.Deadline(), kStart + kAnswerTimeout);
  EXPECT_EQ(dialogue.OnTime(kStart + kAnswerTimeout - 1ms), Step{});
  // Each command has its own time: the clock starts again when the next one is sent.
  ASSERT_EQ(dialogue.OnLine(ModemLineKind::kOk, kStart + 4s), Send("AT+VCID=1"));
  EXPECT_EQ(dialogue.OnTime(kStart + 8s), Step{});
  EXPECT_EQ(dialogue.OnTime(kStart + 4s + kAnswerTimeout),
            (Step{Kind::kFailed, "no answer to AT+VCID=1"}));
  EXPECT_FALSE(dialogue.running());
  EXPECT_EQ(dialogue.Deadline(), std::nullopt);
  // A late answer changes nothing; a new start begins from the top.
  EXPECT_EQ(dialogue.OnLine(ModemLineKind::kOk, kStart + 20s), Step{});
  EXPECT_EQ(dialogue.Start(kStart + 30s), Send("ATZ"));
}

}  // namespace
}  // namespace qelto::cidr
