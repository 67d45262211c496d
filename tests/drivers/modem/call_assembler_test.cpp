#include "drivers/modem/call_assembler.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "drivers/driver_config.h"

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;
using Reports = std::vector<std::string>;
using ModemLines = std::vector<ModemLine>;
using TimePoint = CallAssembler::TimePoint;

const TimePoint kStart{1h};

// One input at a moment after the start: a modem line, or (without a line) time passing. The
// reports it must give come with it.
struct Input {
  std::chrono::milliseconds at;
  std::optional<std::string> line;
  Reports reports;
};

Input Line(std::chrono::milliseconds at, std::string text, Reports reports = {}) {
  return {at, std::move(text), std::move(reports)};
}

Input Tick(std::chrono::milliseconds at, Reports reports = {}) {
  return {at, std::nullopt, std::move(reports)};
}

struct Scenario {
  std::string name;
  std::vector<Input> inputs;
};

void PrintTo(const Scenario& row, std::ostream* out) {
  *out << row.name;
}

class Calls : public testing::TestWithParam<Scenario> {};

TEST_P(Calls, AreReportedOnceEachAtTheRightInput) {
  CallAssembler calls(kDefaultRingTimeout);
  for (const Input& input : GetParam().inputs) {
    const TimePoint now = kStart + input.at;
    Reports reports;
    if (!input.line) reports = calls.OnTime(now);
    for (const ModemLine& line : input.line ? ParseModemLines(*input.line) : ModemLines{}) {
      for (std::string& report : calls.OnLine(line, now)) reports.push_back(std::move(report));
    }
    EXPECT_EQ(reports, input.reports)
        << "at " << input.at.count() << " ms, " << input.line.value_or("(time)");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Calls,
    testing::Values(
        Scenario{"FullBlockBetweenTheFirstTwoRings",
                 {Line(0ms, "RING"), Line(1500ms, "DATE = 0321"), Line(1510ms, "TIME = 1405"),
                  Line(1520ms, "NMBR = 5551234", {"5551234"}), Line(1530ms, "NAME = JOHN DOE"),
                  Line(6000ms, "RING"), Line(12000ms, "RING"), Tick(30000ms)}},
        Scenario{"BlockBeforeTheFirstRing",
                 {Line(0ms, "DATE=0321"), Line(10ms, "NMBR=09121234567", {"09121234567"}),
                  Line(800ms, "RING"), Line(5800ms, "RING")}},
        Scenario{"FieldsInAnyOrder",
                 {Line(0ms, "RING"), Line(1500ms, "NAME = X"),
                  Line(1510ms, "DDN_NMBR = 2125551234", {"2125551234"}),
                  Line(1520ms, "TIME = 1405"), Line(1530ms, "DATE = 0321"), Line(6000ms, "RING")}},
        Scenario{"NumberWithheld",
                 {Line(0ms, "RING"), Line(1500ms, "DATE = 0321"), Line(1510ms, "NMBR = P", {""}),
                  Line(6000ms, "RING")}},
        Scenario{"OutOfArea", {Line(0ms, "RING"), Line(1500ms, "NMBR = O", {""})}},
        Scenario{"BlockWithoutNumberEndsAtTheNextRing",
                 {Line(0ms, "RING"), Line(1500ms, "DATE = 0321"), Line(1510ms, "TIME = 1405"),
                  Line(1520ms, "MESG = 0A0B"), Line(6000ms, "RING", {""}), Line(12000ms, "RING")}},
        Scenario{"BlockWithoutNumberAndNoMoreRings",
                 {Line(0ms, "RING"), Line(1500ms, "DATE = 0321"), Tick(9499ms), Tick(9500ms, {""}),
                  Tick(20000ms)}},
        Scenario{"RingOnlyCallAtItsSecondRing",
                 {Line(0ms, "RING"), Line(6000ms, "RING", {""}), Line(12000ms, "RING"),
                  Line(18000ms, "RING"), Tick(40000ms)}},
        Scenario{"CallThatRangOnce",
                 {Line(0ms, "RING"), Tick(7999ms), Tick(8000ms, {""}), Tick(9000ms)}},
        Scenario{
            "DuplicateBlockOfTheSameCall",
            {Line(0ms, "RING"), Line(1500ms, "NMBR = 5551234", {"5551234"}), Line(6000ms, "RING"),
             Line(7500ms, "DATE = 0321"), Line(7510ms, "NMBR = 5551234"), Line(12000ms, "RING")}},
        Scenario{"DuplicateWithheldBlock",
                 {Line(0ms, "NMBR = P", {""}), Line(100ms, "NMBR = O"), Line(500ms, "RING")}},
        Scenario{
            "TwoCallsWithAPauseBetween",
            {Line(0ms, "RING"), Line(1500ms, "NMBR = 111", {"111"}), Line(6000ms, "RING"),
             Line(20000ms, "RING"), Line(21500ms, "NMBR = 111", {"111"}), Line(26000ms, "RING")}},
        // Another number can only be another caller, however soon it comes.
        Scenario{"TwoCallsCloseTogether",
                 {Line(0ms, "RING"), Line(1500ms, "NMBR = 111", {"111"}), Line(3000ms, "RING"),
                  Line(4000ms, "NMBR = 222", {"222"}), Line(5000ms, "DATE = 0321"),
                  Line(5010ms, "NMBR = P", {""})}},
        // Both number lines of one block are one caller's, repeated with the block.
        Scenario{"DdnNumberAndNumberOfOneBlock",
                 {Line(0ms, "RING"), Line(1500ms, "DATE = 1210"), Line(1510ms, "TIME = 1405"),
                  Line(1520ms, "DDN_NMBR = 09121110007", {"09121110007"}),
                  Line(1530ms, "NMBR = 9121110007"), Line(6000ms, "RING"),
                  Line(7500ms, "DATE = 1210"), Line(7510ms, "DDN_NMBR = 09121110007"),
                  Line(7520ms, "NMBR = 9121110007"), Line(12000ms, "RING")}},
        Scenario{"NumberOfTheNextBlockWithoutARing",
                 {Line(0ms, "DATE = 1210"), Line(10ms, "NMBR = 111", {"111"}),
                  Line(20ms, "TIME = 1406"), Line(30ms, "NMBR = 222", {"222"})}},
        Scenario{"WholeBlockOnOneLine",
                 {Line(0ms, "RING"),
                  Line(1500ms, "DATE=1210 TIME=1405 NMBR=09121110007 NAME=ALI", {"09121110007"}),
                  Line(6000ms, "RING")}},
        Scenario{"InternationalNumberKeepsItsPlus",
                 {Line(0ms, "RING"), Line(1500ms, "NMBR = +989121110007", {"00989121110007"}),
                  Line(6000ms, "RING")}},
        Scenario{"TwoRingOnlyCalls",
                 {Line(0ms, "RING"), Line(6000ms, "RING", {""}), Line(20000ms, "RING"),
                  Line(26000ms, "RING", {""})}},
        // The first call rang once and nobody reported it yet: one line ends it and starts the
        // next.
        Scenario{"ANewCallEndsAnUnreportedOne",
                 {Line(0ms, "RING"), Line(9000ms, "NMBR = 333", {"", "333"})}},
        Scenario{"ModemChatterIsNoCall",
                 {Line(0ms, "OK"), Line(10ms, "ERROR"), Line(20ms, "NO CARRIER"),
                  Line(30ms, "AT+VCID=1"), Tick(60000ms)}}));

TEST(CallAssembler, FlushReportsACallNotYetReported) {
  CallAssembler calls(kDefaultRingTimeout);
  EXPECT_EQ(calls.Flush(), Reports{});
  calls.OnLine(ParseModemLine("RING"), kStart);
  EXPECT_EQ(calls.Flush(), Reports{""});
  EXPECT_EQ(calls.Flush(), Reports{});
  calls.OnLine(ParseModemLine("NMBR = 5"), kStart);
  EXPECT_EQ(calls.Flush(), Reports{});
}

TEST(CallAssembler, DeadlineFollowsTheLastRingOrBlockLine) {
  CallAssembler calls(3s);
  EXPECT_EQ(calls.Deadline(), std::nullopt);
  calls.OnLine(ParseModemLine("RING"), kStart);
  EXPECT_EQ(calls.Deadline(), kStart + 3s);
  calls.OnLine(ParseModemLine("OK"), kStart + 1s);
  EXPECT_EQ(calls.Deadline(), kStart + 3s);
  calls.OnLine(ParseModemLine("TIME = 1405"), kStart + 2s);
  EXPECT_EQ(calls.Deadline(), kStart + 5s);
  EXPECT_EQ(calls.OnTime(kStart + 5s), Reports{""});
  EXPECT_EQ(calls.Deadline(), std::nullopt);
}

}  // namespace
}  // namespace qelto::cidr
