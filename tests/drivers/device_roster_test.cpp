#include "drivers/device_roster.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/info_text.h"
#include "recorder_reading.h"

namespace qelto::sim {
namespace {

using testing_support::ConnectedDeviceCount;
using testing_support::SplitLines;
using testing_support::VersionWithinFirst30;
using Lines = std::vector<std::string>;

DriverConfig ModemsAndASim() {
  return ParseDriverConfig(
      "[device]\nkind=modem\nline=1\nport=/dev/serial/by-id/usb-Modem_A-if00\n"
      "[device]\nkind=sim\nline=9\n"
      "[device]\nkind=modem\nline=2\nport=/dev/ttyS0\n");
}

TEST(DeviceRoster, WithoutAFileIsTheSimulatorOfOld) {
  DeviceRoster roster = DeviceRoster::Simulated(2);
  SimulatedDevices devices(2);
  EXPECT_EQ(roster.InfoText(), BuildInfoText(devices));
  EXPECT_EQ(roster.StartEvent("gone"), StartStatusEvent(devices, "gone"));
  EXPECT_EQ(roster.Execute("unplug 2").event, DeviceStatusEvent(2, false));
  EXPECT_EQ(roster.ConnectedCount(), 1);
  EXPECT_TRUE(roster.modems().empty());
}

TEST(DeviceRoster, ListsConfiguredDevicesInTheFilesOrder) {
  DeviceRoster roster = DeviceRoster::Configured(ModemsAndASim(), "/opt/q/POS_CIDR.conf");
  ASSERT_EQ(roster.modems().size(), 2U);
  EXPECT_EQ(roster.modems()[1].modem.port, "/dev/ttyS0");
  EXPECT_EQ(SplitLines(roster.InfoText()),
            (Lines{"POS CID Modems", "VER 2.1", "Ports 3", "Devices",
                   "Line 1 modem /dev/serial/by-id/usb-Modem_A-if00: Disconnected",
                   "Line 9 sim 1: Connected", "Line 2 modem /dev/ttyS0: Disconnected"}));
  EXPECT_EQ(VersionWithinFirst30(roster.InfoText()), kDriverVersion);
  EXPECT_EQ(ConnectedDeviceCount(roster.InfoText()), 1);

  roster.SetModemConnected(1, true);
  EXPECT_EQ(SplitLines(roster.InfoText()).back(), "Line 2 modem /dev/ttyS0: Connected");
  EXPECT_EQ(ConnectedDeviceCount(roster.InfoText()), 2);
  EXPECT_EQ(roster.ConnectedCount(), 2);
  roster.SetModemConnected(7, true);  // no such modem: ignored
  roster.DisconnectModems();
  EXPECT_EQ(roster.ConnectedCount(), 1);
}

TEST(DeviceRoster, LetsTheControlSocketReachOnlyTheSimulatedDevices) {
  DeviceRoster roster = DeviceRoster::Configured(ModemsAndASim(), "/opt/q/POS_CIDR.conf");
  const CommandOutcome unplugged = roster.Execute("unplug 1");
  EXPECT_EQ(unplugged.event, DeviceStatusEvent(1, false));
  EXPECT_EQ(SplitLines(roster.InfoText())[5], "Line 9 sim 1: Disconnected");
  EXPECT_EQ(roster.Execute("plug 2").reply, Lines{"ERROR no device 2: the simulator has 1"});
  EXPECT_EQ(roster.Execute("call 5 0912").event, (DriverEvent{5, u"C0912"}));
  const CommandOutcome info = roster.Execute("info");
  ASSERT_EQ(info.reply.size(), 8U);
  EXPECT_EQ(info.reply[4], "Line 1 modem /dev/serial/by-id/usb-Modem_A-if00: Disconnected");
  EXPECT_EQ(info.reply.back(), "OK");

  DeviceRoster modems_only =
      DeviceRoster::Configured(ParseDriverConfig("[device]\nkind=modem\nline=1\nport=/dev/x\n"),
                               "/etc/qelto-callerid/POS_CIDR.conf");
  EXPECT_EQ(modems_only.Execute("unplug").reply,
            Lines{"ERROR no simulated device 1: none is configured"});
}

TEST(DeviceRoster, StartEventNamesTheFileTheCountAndTheProblems) {
  DeviceRoster roster = DeviceRoster::Configured(ModemsAndASim(), "/opt/q/POS_CIDR.conf");
  EXPECT_EQ(roster.StartEvent(""),
            StatusEvent(u"Driver started with /opt/q/POS_CIDR.conf: 1 of 3 devices connected"));

  DriverConfig broken = ParseDriverConfig("speed=1\n[device]\nkind=sim\nline=1\n[x]\n");
  DeviceRoster with_problems = DeviceRoster::Configured(broken, "/c");
  with_problems.AddProblem("no raw data file: /r: Permission denied");
  EXPECT_EQ(with_problems.StartEvent("/run/s.sock: Permission denied"),
            StatusEvent(u"Driver started with /c without control socket (/run/s.sock: "
                        u"Permission denied): 1 of 1 devices connected; line 1: speed outside a "
                        u"[device] section; line 5: unknown section [x]; no raw data file: /r: "
                        u"Permission denied"));
  with_problems.AddProblem("fourth");
  with_problems.AddProblem("fifth");
  EXPECT_TRUE(with_problems.StartEvent("").text.ends_with(u"; and 2 more problems"));

  // A file whose own words are not UTF-8 still gives a readable event.
  DeviceRoster odd = DeviceRoster::Configured(ParseDriverConfig("k\xff=1\n"), "/c");
  EXPECT_EQ(odd.StartEvent("").text,
            u"SDriver started with /c: 0 of 0 devices connected; line 1: unknown key \"k?\"");
}

}  // namespace
}  // namespace qelto::sim
