#include "drivers/driver_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printable.h"

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

DeviceConfig Modem(std::int32_t line, std::string port) {
  DeviceConfig device{DeviceKind::kModem, line, {}, {}};
  device.modem.port = std::move(port);
  return device;
}

DeviceConfig Sim(std::int32_t line) {
  return DeviceConfig{DeviceKind::kSim, line, {}, {}};
}

TEST(ParseDriverConfig, ReadsAFullFile) {
  const DriverConfig config = ParseDriverConfig(
      "\xEF\xBB\xBF# QELTO caller-ID devices\r\n"
      "raw_log = raw/modems.txt\r\n"
      "\r\n"
      "[device]\r\n"
      "kind = modem\r\n"
      "  port=/dev/serial/by-id/usb-U.S._Robotics_USB_Modem-if00  \r\n"
      "line = 2\r\n"
      "speed = 57600\r\n"
      "flow = rtscts\r\n"
      "init = AT&F\r\n"
      "init = ATE0V1\r\n"
      "caller_id = AT#CID=1\r\n"
      "ring_timeout = 12\r\n"
      "quiet_spell = 5\r\n"
      "; the second one\r\n"
      "[device]\n"
      "kind = sim\n"
      "line = 7\n");
  EXPECT_EQ(config.errors, Strings{});
  EXPECT_EQ(config.raw_log, "raw/modems.txt");
  DeviceConfig modem = Modem(2, "/dev/serial/by-id/usb-U.S._Robotics_USB_Modem-if00");
  modem.modem.speed = 57600;
  modem.modem.rts_cts = true;
  modem.modem.init = {"AT&F", "ATE0V1"};
  modem.modem.caller_id = {"AT#CID=1"};
  modem.modem.ring_timeout = 12s;
  modem.modem.quiet_spell = 5s;
  EXPECT_EQ(config.devices, (std::vector<DeviceConfig>{modem, Sim(7)}));
  EXPECT_EQ(config.section_lines, (std::vector<int>{4, 16}));
}

TEST(ParseDriverConfig, GivesModemsTheDefaults) {
  const DriverConfig config =
      ParseDriverConfig("[device]\nline=1\nkind=modem\nport=/dev/ttyACM0\n");
  ASSERT_EQ(config.devices.size(), 1U);
  const ModemSettings& modem = config.devices[0].modem;
  EXPECT_EQ(modem.speed, 115200);
  EXPECT_FALSE(modem.rts_cts);
  EXPECT_EQ(modem.init, Strings{"ATZ"});
  EXPECT_EQ(modem.caller_id, (Strings{"AT+VCID=1", "AT#CID=1"}));
  EXPECT_EQ(modem.ring_timeout, kDefaultRingTimeout);
  EXPECT_EQ(modem.quiet_spell, 10min);
  EXPECT_EQ(config.raw_log, "");
  EXPECT_TRUE(ParseDriverConfig("").devices.empty());
}

struct ProblemCase {
  std::string text;
  Strings errors;
  std::vector<std::int32_t> lines_kept;  // the devices that survive, by line number
};

void PrintTo(const ProblemCase& row, std::ostream* out) {
  *out << testing_support::Printable(row.text);
}

class ConfigProblems : public testing::TestWithParam<ProblemCase> {};

TEST_P(ConfigProblems, AreReportedAndLeaveTheirDeviceOut) {
  const DriverConfig config = ParseDriverConfig(GetParam().text);
  EXPECT_EQ(config.errors, GetParam().errors);
  std::vector<std::int32_t> lines;
  for (const DeviceConfig& device : config.devices) lines.push_back(device.line);
  EXPECT_EQ(lines, GetParam().lines_kept);
}

const std::string kGood = "[device]\nkind=sim\nline=1\n";
const std::string kModem = "[device]\nkind=modem\nport=/dev/ttyS0\n";
const std::string kPbx = "[device]\nkind=pbx\nline=5\nhost=pbx\nuser=u\nsecret=s3cr3t\n";
const std::string kBadLine = "line 4: line must be a number from 1 to 2147483647";

INSTANTIATE_TEST_SUITE_P(
    Table, ConfigProblems,
    testing::Values(
        ProblemCase{kGood + "[device]\nkind=modem\nline=2\n",
                    {"line 4: modem without port", "line 4: [device] left out"},
                    {1}},
        ProblemCase{"[device]\nline=3\n",
                    {"line 1: [device] without kind", "line 1: [device] left out"},
                    {}},
        ProblemCase{kModem + "speed=115201\nline=2\n" + kGood,
                    {"line 4: speed must be one of 1200 2400 4800 9600 19200 38400 57600 115200 "
                     "230400 460800 921600",
                     "line 1: [device] left out"},
                    {1}},
        ProblemCase{kModem + "line=0\n", {kBadLine, "line 1: [device] left out"}, {}},
        ProblemCase{kModem + "line=+2\n", {kBadLine, "line 1: [device] left out"}, {}},
        ProblemCase{kModem + "line=2147483648\n", {kBadLine, "line 1: [device] left out"}, {}},
        ProblemCase{kModem + "line=2\nflow=xon\n",
                    {"line 5: flow must be none or rtscts", "line 1: [device] left out"},
                    {}},
        ProblemCase{kModem + "line=2\nring_timeout=1\n",
                    {"line 5: ring_timeout must be 2 to 60 seconds", "line 1: [device] left out"},
                    {}},
        ProblemCase{kModem + "line=2\nquiet_spell=0\n",
                    {"line 5: quiet_spell must be 1 to 86400 seconds", "line 1: [device] left out"},
                    {}},
        ProblemCase{kModem + "line=2\nline=3\n",
                    {"line 5: line given twice", "line 1: [device] left out"},
                    {}},
        ProblemCase{kModem + "line=2\nsped=9600\n",
                    {"line 5: unknown key \"sped\"", "line 1: [device] left out"},
                    {}},
        ProblemCase{kModem + "line=2\ninit=\n",
                    {"line 5: init has no value", "line 1: [device] left out"},
                    {}},
        ProblemCase{kModem + "line=2\ncaller_id=" + std::string(61, 'A') + "\n",
                    {"line 5: caller_id must be one command of at most 60 bytes",
                     "line 1: [device] left out"},
                    {}},
        ProblemCase{"[device]\nkind=sim\nline=4\nport=/dev/ttyS0\n",
                    {"line 1: port is for modems only", "line 1: [device] left out"},
                    {}},
        ProblemCase{"[device]\nkind=fax\nline=4\n",
                    {"line 2: kind must be modem, sim or pbx", "line 1: [device] left out"},
                    {}},
        // Two devices cannot share a port or a line: the first keeps it.
        ProblemCase{kModem + "line=2\n" + kModem + "line=3\n",
                    {"line 5: port /dev/ttyS0 taken", "line 5: [device] left out"},
                    {2}},
        ProblemCase{kGood + kGood, {"line 4: line 1 taken", "line 4: [device] left out"}, {1}},
        ProblemCase{"[device]\nkind=modem\nline=2\nport=COM3\n"
                    "[device]\nkind=modem\nline=3\nport=\\\\.\\com3\n",
                    {"line 5: port \\\\.\\com3 taken", "line 5: [device] left out"},
                    {2}},
        ProblemCase{
            kModem + "line=2\n" + "[device]\nkind=modem\nport=/dev/TTYS0\nline=3\n", {}, {2, 3}},
        // A modem named by its identity: one identity in another letter case is the same modem.
        ProblemCase{
            "[device]\nkind=modem\nline=2\nport=USB\\VID_0572&PID_1340\\0001\n"
            "[device]\nkind=modem\nline=3\nport=usb\\vid_0572&pid_1340\\0001\n",
            {"line 5: port usb\\vid_0572&pid_1340\\0001 taken", "line 5: [device] left out"},
            {2}},
        ProblemCase{"[device]\nkind=modem\nline=2\nport=USB\\VID_572&PID_1340\n" + kGood,
                    {"line 4: port USB\\VID_572&PID_1340 is not a modem's identity: write it as "
                     "USB\\VID_0572&PID_1340\\0001, or without the serial number",
                     "line 1: [device] left out"},
                    {1}},
        // One telephone system in two sections would log in twice: every call twice.
        ProblemCase{kPbx + "[device]\nkind=pbx\nline=6\nhost=PBX.\nuser=v\nsecret=t\n",
                    {"line 7: the telephone system of the [device] at line 1 again",
                     "line 7: [device] left out"},
                    {5}},
        ProblemCase{kPbx + "[device]\nkind=pbx\nline=6\nhost=pbx\nport=5039\nuser=u\nsecret=t\n",
                    {"line 7: the telephone system of the [device] at line 1 again",
                     "line 7: [device] left out"},
                    {5}},
        // Another port and another login may be another system behind one address; two names
        // of one address are told apart once resolved.
        ProblemCase{kPbx + "[device]\nkind=pbx\nline=6\nhost=pbx\nport=5039\nuser=v\nsecret=t\n",
                    {},
                    {5, 6}},
        ProblemCase{"[device]\nkind=pbx\nline=5\nhost=127.0.0.1\nuser=u\nsecret=s\n"
                    "[device]\nkind=pbx\nline=6\nhost=localhost\nuser=u\nsecret=s\n",
                    {},
                    {5, 6}},
        // Telephone systems: the login is required, and the secret never shows in a problem.
        ProblemCase{"[device]\nkind=pbx\nline=5\nhost=pbx\nuser=u\n",
                    {"line 1: pbx without secret", "line 1: [device] left out"},
                    {}},
        ProblemCase{kPbx + "port=/dev/ttyS0\nlogin=md5\n",
                    {"line 8: login must be challenge or plain",
                     "line 7: port must be a TCP port "
                     "from 1 to 65535",
                     "line 1: [device] left out"},
                    {}},
        ProblemCase{kPbx + "did_line=021555=\ndid_line=1=2\ndid_line=1=3\n",
                    {"line 7: did_line must be NUMBER=LINE, the line from 1 to 2147483647",
                     "line 9: did_line number given twice", "line 1: [device] left out"},
                    {}},
        ProblemCase{kModem + "line=2\nhost=pbx\n",
                    {"line 1: host is for telephone systems (kind = pbx) only",
                     "line 1: [device] left out"},
                    {}},
        ProblemCase{kPbx + "did_line=021555=1\n" + kGood,
                    {"line 8: line 1 taken", "line 8: [device] left out"},
                    {5}},
        ProblemCase{
            "port = /dev/ttyS0\n" + kGood, {"line 1: port outside a [device] section"}, {1}},
        ProblemCase{"raw_log=a\nraw_log=b\nspeed\n",
                    {"line 2: raw_log given twice", "line 3: expected KEY = VALUE"},
                    {}},
        // An unknown section is skipped whole, up to the next one.
        ProblemCase{"[devices]\nkind=sim\nline=1\nwhatever\n" + kGood,
                    {"line 1: unknown section [devices]"},
                    {1}}));

TEST(ParseDriverConfig, ReadsATelephoneSystem) {
  const DriverConfig config = ParseDriverConfig(
      "[device]\nkind = pbx\nline = 4\nhost = 192.168.1.10\nuser = qelto\nsecret = a b=c#\n"
      "[device]\nkind = pbx\nline = 5\nhost = pbx.shop.lan\nport = 5039\nuser = q\nsecret = s\n"
      "login = plain\ndid_line = 02155550000 = 6\ndid_line=+982155551111=7\n"
      "inbound_context = from-did\ninbound_context = ext-did\ntrunk = PJSIP/provider\n");
  EXPECT_EQ(config.errors, Strings{});
  ASSERT_EQ(config.devices.size(), 2U);
  const PbxSettings& first = config.devices[0].pbx;
  EXPECT_EQ(config.devices[0].kind, DeviceKind::kPbx);
  EXPECT_EQ(first.port, kDefaultPbxPort);
  EXPECT_EQ(first.secret, "a b=c#");
  EXPECT_FALSE(first.plain_login);
  EXPECT_EQ(first.inbound_contexts, (Strings{"from-trunk", "from-pstn"}));
  EXPECT_EQ(config.devices[0].modem.port, "");
  const PbxSettings& second = config.devices[1].pbx;
  EXPECT_EQ(second.host, "pbx.shop.lan");
  EXPECT_EQ(second.port, 5039);
  EXPECT_TRUE(second.plain_login);
  EXPECT_EQ(second.did_lines,
            (std::vector<PbxSettings::DidLine>{{"02155550000", 6}, {"+982155551111", 7}}));
  EXPECT_EQ(second.inbound_contexts, (Strings{"from-did", "ext-did"}));
  EXPECT_EQ(second.trunks, Strings{"PJSIP/provider"});
}

TEST(ParseDriverConfig, KeepsAtMostEightDevices) {
  std::string text;
  for (int line = 1; line <= 9; ++line)
    text += "[device]\nkind=sim\nline=" + std::to_string(line) + "\n";
  const DriverConfig config = ParseDriverConfig(text);
  EXPECT_EQ(config.devices.size(), 8U);
  EXPECT_EQ(config.errors, (Strings{"line 25: more than 8 devices", "line 25: [device] left out"}));
}

TEST(ParseDriverConfig, TakesCommandsVerbatimWithTheirHashes) {
  const DriverConfig config =
      ParseDriverConfig(kModem + "line=1\ninit = AT#CID=1 # not a comment\ncaller_id=AT+VCID=1\n");
  ASSERT_EQ(config.devices.size(), 1U) << config.errors.front();
  EXPECT_EQ(config.devices[0].modem.init, Strings{"AT#CID=1 # not a comment"});
  EXPECT_EQ(config.devices[0].modem.caller_id, Strings{"AT+VCID=1"});
}

TEST(ConfigFileCandidates, LooksBesideTheLibraryThenSystemWide) {
  EXPECT_EQ(ConfigFileCandidates("/opt/qelto"),
            (Strings{"/opt/qelto/POS_CIDR.conf", "/etc/qelto-callerid/POS_CIDR.conf"}));
  EXPECT_EQ(ConfigFileCandidates("/"), (Strings{"/POS_CIDR.conf", kSystemConfigPath}));
  EXPECT_EQ(ConfigFileCandidates(""), Strings{kSystemConfigPath});
}

TEST(PathBesideConfig, TakesRelativePathsFromTheFilesFolder) {
  EXPECT_EQ(PathBesideConfig("/opt/qelto/POS_CIDR.conf", "raw.txt"), "/opt/qelto/raw.txt");
  EXPECT_EQ(PathBesideConfig("/opt/qelto/POS_CIDR.conf", "/var/log/raw.txt"), "/var/log/raw.txt");
  EXPECT_EQ(PathBesideConfig("/opt/qelto/POS_CIDR.conf", ""), "");
  EXPECT_EQ(PathBesideConfig("POS_CIDR.conf", "raw.txt"), "raw.txt");
  // The file's folder as Windows names it.
  EXPECT_EQ(PathBesideConfig("C:\\Shop\\POS_CIDR.conf", "raw.txt"), "C:\\Shop\\raw.txt");
  EXPECT_EQ(PathBesideConfig("C:\\Shop\\POS_CIDR.conf", "D:\\raw.txt"), "D:\\raw.txt");
  EXPECT_EQ(PathBesideConfig("C:\\Shop\\POS_CIDR.conf", "\\\\pc\\raw.txt"), "\\\\pc\\raw.txt");
}

}  // namespace
}  // namespace qelto::cidr
