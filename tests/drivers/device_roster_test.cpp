#include "drivers/device_roster.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/info_text.h"
#include "drivers/text_encoding.h"
#include "recorder_reading.h"

namespace qelto::cidr {
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

// Two names of one telephone system are one system once resolved: the later section is
// refused, with both sections' lines, whichever claims the address first; a withdrawal frees the
// addresses.
TEST(DeviceRoster, RefusesTheLaterSectionOfATelephoneSystemNamedTwice) {
  DeviceRoster roster = DeviceRoster::Configured(
      ParseDriverConfig("[device]\nkind=pbx\nline=1\nhost=127.0.0.1\nuser=u\nsecret=s\n"
                        "[device]\nkind=pbx\nline=2\nhost=localhost\nuser=u\nsecret=s\n"
                        "[device]\nkind=pbx\nline=3\nhost=pbx\nport=5039\nuser=v\nsecret=s\n"
                        "[device]\nkind=pbx\nline=4\nhost=pbx.lan\nport=5039\nuser=w\nsecret=s\n"),
      "/opt/q/POS_CIDR.conf");
  using Claim = DeviceRoster::PbxClaim;
  const std::string again = "line 7: the telephone system of the [device] at line 1 again ";
  const std::string localhost = again + "(localhost is 127.0.0.1): [device] left out";
  struct Row {
    std::size_t modem;
    std::vector<std::string> addresses;
    Claim claim;
  };
  const auto check = [&roster](const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      EXPECT_EQ(roster.ClaimPbxAddresses(row.modem, row.addresses), row.claim)
          << "modem " << row.modem << " " << testing::PrintToString(row.addresses);
    }
  };
  check({
      {0, {"127.0.0.1"}, {true, ""}},
      {1, {"::1", "127.0.0.1"}, {false, localhost}},
      {1, {"::1"}, {false, ""}},  // refused until the withdrawal
      // Another port and another login on one address: another system behind it.
      {2, {"127.0.0.1"}, {true, ""}},
      {3, {"10.0.0.5"}, {true, ""}},
      {3,
       {"127.0.0.1"},
       {false,
        "line 20: the telephone system of the [device] at line 13 again (pbx.lan is 127.0.0.1): "
        "[device] left out"}},
  });
  EXPECT_TRUE(roster.IsRefused(1));
  EXPECT_FALSE(roster.IsRefused(0));
  const std::u16string start = roster.StartEvent("").text;
  EXPECT_NE(start.find(u"; " + WidenAscii(localhost)), std::u16string::npos);
  EXPECT_EQ(start.find(u"; line 7:", start.find(u"; line 7:") + 1), std::u16string::npos)
      << "a problem found again is named once";
  EXPECT_EQ(roster.ProblemEvent("line 7: x"),
            StatusEvent(u"Driver with /opt/q/POS_CIDR.conf: line 7: x"));

  // The later section resolving first still gives way once the earlier one resolves.
  roster.DisconnectModems();
  EXPECT_FALSE(roster.IsRefused(1));
  check({
      {1, {"127.0.0.1"}, {true, ""}},
      {0, {"127.0.0.1"}, {true, localhost}},
      {1, {"127.0.0.1"}, {false, ""}},
  });
  EXPECT_TRUE(roster.IsRefused(1));
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
}  // namespace qelto::cidr
