#include "drivers/control/command_executor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printable.h"
#include "recorder_reading.h"

namespace qelto::cidr {
namespace {

using Lines = std::vector<std::string>;

struct ExecutionCase {
  std::string line;
  Lines reply;
  std::optional<DriverEvent> event;
  int connected_after;  // of the two simulated devices, device 2 starting unplugged
};

void PrintTo(const ExecutionCase& row, std::ostream* out) {
  *out << testing_support::Printable(row.line);
}

class ExecuteLine : public testing::TestWithParam<ExecutionCase> {};

TEST_P(ExecuteLine, RepliesAndRaisesTheEvent) {
  SimulatedDevices devices(2);
  devices.SetConnected(2, false);
  const CommandOutcome outcome = ExecuteCommandLine(GetParam().line, devices);
  EXPECT_EQ(outcome.reply, GetParam().reply);
  EXPECT_EQ(outcome.event, GetParam().event);
  EXPECT_EQ(devices.ConnectedCount(), GetParam().connected_after);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExecuteLine,
    testing::Values(
        ExecutionCase{"call 2 0912", {"OK"}, DriverEvent{2, u"C0912"}, 1},
        ExecutionCase{"call 12", {"OK"}, DriverEvent{12, u"C"}, 1},
        ExecutionCase{"call 1 \xd9\xa1", {"OK"}, DriverEvent{1, u"C\u0661"}, 1},
        ExecutionCase{"unplug", {"OK"}, DriverEvent{0, u"SDevice 1 disconnected"}, 0},
        ExecutionCase{"plug 2", {"OK"}, DriverEvent{0, u"SDevice 2 connected"}, 2},
        // Repeating a state still reports it: the recorder recounts at every status event.
        ExecutionCase{"plug", {"OK"}, DriverEvent{0, u"SDevice 1 connected"}, 1},
        ExecutionCase{"unplug 3", {"ERROR no device 3: the simulator has 2"}, std::nullopt, 1},
        ExecutionCase{"status Line 1 ringing", {"OK"}, DriverEvent{0, u"SLine 1 ringing"}, 1},
        ExecutionCase{"status", {"OK"}, DriverEvent{0, u"S"}, 1},
        ExecutionCase{"info",
                      {"POS CID Simulator", "VER 2.1", "Ports 2", "Devices", "Line 1: Connected",
                       "Line 2: Disconnected", "OK"},
                      std::nullopt,
                      1},
        ExecutionCase{"hangup 1", {"ERROR unknown command"}, std::nullopt, 1},
        ExecutionCase{
            "call 0 5", {"ERROR LINE must be a number from 1 to 2147483647"}, std::nullopt, 1}));

TEST(StartStatusEvent, TellsTheDeviceCountAndAnySocketProblem) {
  SimulatedDevices devices(3);
  devices.SetConnected(2, false);
  EXPECT_EQ(StartStatusEvent(devices, ""),
            (DriverEvent{0, u"SSimulator started: 2 of 3 devices connected"}));
  EXPECT_EQ(StartStatusEvent(devices, "/run/x.sock: Permission denied"),
            (DriverEvent{0,
                         u"SSimulator started without control socket (/run/x.sock: Permission "
                         u"denied): 2 of 3 devices connected"}));
  // A path that is not UTF-8 must still give a status event, not an empty one.
  EXPECT_TRUE(StartStatusEvent(devices, "/tmp/\xff.sock").text.starts_with(u"SSimulator started"));
}

}  // namespace
}  // namespace qelto::cidr
