#include "drivers/modem/modem_identity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qelto::cidr {
namespace {

class FakePortList final : public PortList {
 public:
  explicit FakePortList(std::vector<ListedPort> ports) : ports_(std::move(ports)) {}
  std::vector<ListedPort> Ports() override {
    ++asked_;
    return ports_;
  }
  int asked() const { return asked_; }

 private:
  std::vector<ListedPort> ports_;
  int asked_ = 0;
};

const ListedPort kBuiltIn{"COM1", "Communications Port (COM1)", "ACPI\\PNP0501\\1"};
const ListedPort kModemAt5{"COM5", "USB Modem (COM5)", "USB\\VID_0572&PID_1340\\0001"};
const ListedPort kModemAt9{"COM9", "USB Modem (COM9)", "USB\\VID_0572&PID_1340\\0001"};
const ListedPort kOtherSerialAt7{"COM7", "USB Modem (COM7)", "USB\\VID_0572&PID_1340\\0002"};
// Without a serial number: Windows makes the last part up from the USB socket.
const ListedPort kPlainAt3{"COM3", "USB Modem (COM3)", "USB\\VID_0572&PID_1329\\5&2C1F3A0&0&2"};
const ListedPort kPlainAt4{"COM4", "USB Modem (COM4)", "USB\\VID_0572&PID_1329\\5&2C1F3A0&0&3"};
// The modem interface of a composite device.
const ListedPort kInterfaceAt6{"COM6", "USB Serial Device (COM6)",
                               "USB\\VID_1A86&PID_7523&MI_00\\6&1B2&0&0000"};

struct FindCase {
  const char* what;
  std::string port;
  std::vector<ListedPort> listed;
  std::string found;    // the port opened, or empty
  std::string problem;  // or why none is
  bool asks_list = true;
};

void PrintTo(const FindCase& row, std::ostream* out) {
  *out << row.what;
}

class FindModemPortTable : public testing::TestWithParam<FindCase> {};

TEST_P(FindModemPortTable, GivesThePortOrWhyNone) {
  const FindCase& row = GetParam();
  FakePortList list(row.listed);
  const FoundPort found = FindModemPort(row.port, list);
  EXPECT_EQ(found.name, row.found);
  EXPECT_EQ(found.problem, row.problem);
  EXPECT_EQ(list.asked(), row.asks_list ? 1 : 0);
}

const std::string kTwoPlain =
    "2 modems alike, at COM3, COM4: without a serial number each must be named by its COM port";

INSTANTIATE_TEST_SUITE_P(
    Table, FindModemPortTable,
    testing::Values(
        FindCase{"found", "USB\\VID_0572&PID_1340\\0001", {kBuiltIn, kModemAt5}, "COM5", ""},
        FindCase{"moved", "USB\\VID_0572&PID_1340\\0001", {kModemAt9, kBuiltIn}, "COM9", ""},
        FindCase{"the serial number tells two alike apart",
                 "USB\\VID_0572&PID_1340\\0002",
                 {kModemAt5, kOtherSerialAt7},
                 "COM7",
                 ""},
        FindCase{"unplugged",
                 "USB\\VID_0572&PID_1340\\0001",
                 {kBuiltIn, kOtherSerialAt7},
                 "",
                 "not plugged in"},
        FindCase{"nothing listed", "USB\\VID_0572&PID_1340", {}, "", "not plugged in"},
        FindCase{"two alike", "USB\\VID_0572&PID_1329", {kPlainAt3, kPlainAt4}, "", kTwoPlain},
        FindCase{"a made-up last part is no serial number",
                 "USB\\VID_0572&PID_1329\\5&2C1F3A0&0&2",
                 {kPlainAt4, kPlainAt3},
                 "",
                 "2 modems alike, at COM4, COM3: without a serial number each must be named by "
                 "its COM port"},
        FindCase{"one without a serial number, moved",
                 "USB\\VID_0572&PID_1329",
                 {kBuiltIn, kPlainAt4},
                 "COM4",
                 ""},
        FindCase{"letter case", "usb\\vid_1a86&pid_7523", {kInterfaceAt6}, "COM6", ""},
        FindCase{"letter case of the serial number",
                 "USB\\Vid_0572&Pid_1340\\0001",
                 {{"COM12", "", "usb\\vid_0572&pid_1340\\0001"}},
                 "COM12",
                 ""},
        FindCase{"a device without a port is passed over",
                 "USB\\VID_0572&PID_1340\\0001",
                 {{"", "USB Modem", "USB\\VID_0572&PID_1340\\0001"}, kModemAt9},
                 "COM9",
                 ""},
        FindCase{"a COM name passes through", "COM5", {kModemAt9}, "COM5", "", false},
        FindCase{"a path passes through", "\\\\.\\COM10", {}, "\\\\.\\COM10", "", false},
        FindCase{"not an identity",
                 "USB\\VID_0572",
                 {kModemAt5},
                 "",
                 "not a modem's identity; write it as USB\\VID_0572&PID_1340\\0001",
                 false}));

struct SettingCase {
  const char* what;
  ListedPort port;
  std::vector<ListedPort> listed;
  std::string setting;
};

void PrintTo(const SettingCase& row, std::ostream* out) {
  *out << row.what;
}

class PortSettingTable : public testing::TestWithParam<SettingCase> {};

// What the installer writes must find the same port again.
TEST_P(PortSettingTable, NamesThePortSoThatItIsFoundAgain) {
  const SettingCase& row = GetParam();
  EXPECT_EQ(PortSettingFor(row.port, row.listed), row.setting);
  FakePortList list(row.listed);
  EXPECT_EQ(FindModemPort(row.setting, list).name, row.port.name);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PortSettingTable,
    testing::Values(
        SettingCase{
            "a USB modem", kModemAt5, {kBuiltIn, kModemAt5}, "USB\\VID_0572&PID_1340\\0001"},
        SettingCase{"a built-in port", kBuiltIn, {kBuiltIn, kModemAt5}, "COM1"},
        SettingCase{
            "one without a serial number", kPlainAt3, {kPlainAt3}, "USB\\VID_0572&PID_1329"},
        SettingCase{"two without serial numbers", kPlainAt3, {kPlainAt3, kPlainAt4}, "COM3"},
        SettingCase{"an interface", kInterfaceAt6, {kInterfaceAt6}, "USB\\VID_1A86&PID_7523"}));

TEST(PortListing, GivesEachPortItsNameAndSetting) {
  const ListedPort odd_name{"COM8", "Modem\tone\r\n", "PCI\\VEN_1"};
  const ListedPort nameless{"COM2", "", ""};
  EXPECT_EQ(PortListing({kBuiltIn, kModemAt5, odd_name, nameless, {"", "LPT", ""}}),
            "COM1\tCommunications Port (COM1)\tCOM1\n"
            "COM5\tUSB Modem (COM5)\tUSB\\VID_0572&PID_1340\\0001\n"
            "COM8\tModem one  \tCOM8\n"
            "COM2\tCOM2\tCOM2\n");
}

}  // namespace
}  // namespace qelto::cidr
