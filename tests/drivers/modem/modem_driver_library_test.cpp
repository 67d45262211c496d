// Loads the real libPOS_CIDR.so, configured by a POS_CIDR.conf beside it for two caller-ID
// modems and one simulated device, and drives it through fake modems on pseudo-terminals.
//
// The driver reads its configuration once per process, so this executable holds these tests
// only. The suite copies the library into a private folder with its configuration file, sets
// the control socket's path, and loads the copy once.

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/driver_abi.h"
#include "driver_observer.h"
#include "drivers/posix/unique_fd.h"
#include "fake_modem.h"
#include "recorder_reading.h"

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;

using namespace testing_support;  // the driver's callback and what it saw

// Bounds waits that should end within a reopen interval or two, so a broken driver fails
// instead of hanging.
constexpr std::chrono::seconds kModemPatience = 30s;

int ConnectedNow() {
  return testing_support::ConnectedDeviceCount(Narrow(static_cast<const char16_t*>(api.info())));
}

std::optional<std::string> Converse(const std::string& path, const std::string& lines) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof(address.sun_path) - 1);
  const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    return std::nullopt;
  }
  const timeval patience{kModemPatience.count(), 0};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof(patience));
  ::send(fd.get(), lines.data(), lines.size(), MSG_NOSIGNAL);
  ::shutdown(fd.get(), SHUT_WR);
  std::string reply;
  char buffer[512];
  for (ssize_t n; (n = ::read(fd.get(), buffer, sizeof(buffer))) > 0;) {
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  return reply;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

const std::string kFullBlock =
    "RING\r\n\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 5551234\r\nNAME = JOHN DOE\r\n\r\nRING\r\n";

class ModemDriverLibrary : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char directory[] = "/tmp/qelto-modem-test-XXXXXX";
    if (::mkdtemp(directory) == nullptr) return;
    directory_ = directory;
    std::error_code error;
    std::filesystem::copy_file(QELTO_CIDR_DRIVER_PATH, directory_ + "/libPOS_CIDR.so", error);
    if (error) {
      load_error_ = "cannot copy the driver: " + error.message();
      return;
    }
    std::ofstream(directory_ + "/POS_CIDR.conf") << "# two modems and a simulated device\n"
                                                    "raw_log = raw.txt\n"
                                                    "[device]\nkind = modem\nport = "
                                                 << Link(1)
                                                 << "\nline = 1\n"
                                                    "[device]\nkind = modem\nport = "
                                                 << Link(2)
                                                 << "\nline = 2\n"
                                                    "init = ATZ\ninit = ATE0V1\n"
                                                    "[device]\nkind = sim\nline = 9\n";
    ::setenv("QELTO_CIDR_SIM_SOCKET", (directory_ + "/sim.sock").c_str(), 1);
    load_error_ = LoadDriver(directory_ + "/libPOS_CIDR.so");
  }

  static void TearDownTestSuite() {
    if (!directory_.empty()) std::filesystem::remove_all(directory_);
  }

  static std::string Link(int line) { return directory_ + "/modem-line" + std::to_string(line); }

  static std::u16string ReadyText(int line, std::string_view command) {
    return u"SLine " + Widen(std::to_string(line)) + u": modem ready at " + Widen(Link(line)) +
           u", caller ID on (" + Widen(command) + u")";
  }

  void SetUp() override {
    ASSERT_FALSE(directory_.empty()) << "no temporary directory";
    ASSERT_TRUE(load_error_.empty()) << load_error_;
    observer.Reset();
    observer.patience = kModemPatience;
    modem1_ = std::make_unique<FakeModem>(Link(1), FakeModem::VcidModem());
    modem2_ = std::make_unique<FakeModem>(Link(2), FakeModem::CidModem());
    ASSERT_EQ(modem1_->problem(), "");
    ASSERT_EQ(modem2_->problem(), "");
    ASSERT_EQ(api.register_event(OnEvent, kRegisterEventValue), 0);
    ASSERT_TRUE(observer.WaitForText(ReadyText(1, "AT+VCID=1")));
    ASSERT_TRUE(observer.WaitForText(ReadyText(2, "AT#CID=1")));
  }

  void TearDown() override {
    if (api.register_event != nullptr) api.register_event(nullptr, 0);
    modem1_.reset();
    modem2_.reset();
  }

  static inline std::string directory_;
  static inline std::string load_error_;
  std::unique_ptr<FakeModem> modem1_;
  std::unique_ptr<FakeModem> modem2_;
};

TEST_F(ModemDriverLibrary, InitialisesEachModemAndListsItsDevices) {
  EXPECT_EQ(modem1_->WaitForCommands(2), (std::vector<std::string>{"ATZ", "AT+VCID=1"}));
  // Configured init commands; AT+VCID refused, so the older command is tried.
  EXPECT_EQ(modem2_->WaitForCommands(4),
            (std::vector<std::string>{"ATZ", "ATE0V1", "AT+VCID=1", "AT#CID=1"}));
  const std::vector<SeenEvent> events = observer.Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0].text, u"SDriver started with " + Widen(directory_) +
                                u"/POS_CIDR.conf: 1 of 3 devices connected");
  const std::string info = Narrow(static_cast<const char16_t*>(api.info()));
  EXPECT_EQ(testing_support::SplitLines(info),
            (std::vector<std::string>{"POS CID Modems", "VER 2.1", "Ports 3", "Devices",
                                      "Line 1 modem " + Link(1) + ": Connected",
                                      "Line 2 modem " + Link(2) + ": Connected",
                                      "Line 9 sim 1: Connected"}));
  EXPECT_EQ(testing_support::VersionWithinFirst30(info), "2.1");
  // Whichever modem was ready last, the recorder counted all three devices at its event.
  int most = 0;
  for (const SeenEvent& event : events) most = std::max(most, event.connected);
  EXPECT_EQ(most, 3);
}

TEST_F(ModemDriverLibrary, ReportsEachCallOnItsLineOnce) {
  modem1_->Send(kFullBlock);
  ASSERT_EQ(observer.WaitForCalls(1, 1), std::vector<std::u16string>{u"C5551234"});
  modem1_->Send("RING\r\nDATE = 0321\r\nTIME = 1406\r\nNMBR = P\r\nRING\r\n");  // withheld
  modem1_->Send("NMBR=09121234567\r\n");  // no date, no time, no spaces, no ring yet
  modem1_->Send("RING\r\nDATE=0321\r\nNMBR=09121234567\r\nRING\r\n");  // the same block again
  modem1_->Send("TIME = 1407\r\nDDN_NMBR = 5550000\r\n");
  EXPECT_EQ(observer.WaitForCalls(1, 4),
            (std::vector<std::u16string>{u"C5551234", u"C", u"C09121234567", u"C5550000"}));
  EXPECT_TRUE(observer.Calls(2).empty());

  const std::string raw = ReadFile(directory_ + "/raw.txt");
  EXPECT_NE(raw.find(" line 1 > ATZ\\r\n"), std::string::npos) << raw;
  EXPECT_NE(raw.find("NMBR = 5551234\\r\\nNAME = JOHN DOE"), std::string::npos) << raw;
  EXPECT_NE(raw.find(" line 2 < "), std::string::npos) << raw;
}

TEST_F(ModemDriverLibrary, ReportsARingOnlyCallOnce) {
  modem2_->Send("RING\r\n");
  modem2_->Send("RING\r\n");
  modem2_->Send("RING\r\n");
  // Another number can only be another caller: the marker that the rings gave one call.
  modem2_->Send("NMBR = 42\r\n");
  EXPECT_EQ(observer.WaitForCalls(2, 2), (std::vector<std::u16string>{u"C", u"C42"}));
}

TEST_F(ModemDriverLibrary, ReadsTwoModemsAtOnce) {
  auto calls = [](FakeModem& modem, int first) {
    for (int number = first; number < first + 20; ++number) {
      modem.Send("RING\r\nNMBR = " + std::to_string(number) + "\r\n");
    }
  };
  std::thread line1(calls, std::ref(*modem1_), 1000);
  std::thread line2(calls, std::ref(*modem2_), 2000);
  line1.join();
  line2.join();
  std::vector<std::u16string> expected1;
  std::vector<std::u16string> expected2;
  for (int i = 0; i < 20; ++i) {
    expected1.push_back(u"C" + Widen(std::to_string(1000 + i)));
    expected2.push_back(u"C" + Widen(std::to_string(2000 + i)));
  }
  EXPECT_EQ(observer.WaitForCalls(1, 20), expected1);
  EXPECT_EQ(observer.WaitForCalls(2, 20), expected2);
}

TEST_F(ModemDriverLibrary, SurvivesGarbageAndOverlongLines) {
  // No letters, so nothing in it can read as a RING or a number line.
  std::mt19937 random(20260321);
  std::string garbage;
  for (int i = 0; i < 50000; ++i) {
    const auto byte = static_cast<char>(random() % 256);
    if ((byte < 'A' || byte > 'Z') && (byte < 'a' || byte > 'z')) garbage += byte;
  }
  modem1_->Send(garbage);
  modem1_->Send(std::string(200000, '7'));  // one line, far too long
  modem1_->Send("\r\n" + kFullBlock);
  EXPECT_EQ(observer.WaitForCalls(1, 1), std::vector<std::u16string>{u"C5551234"});
  EXPECT_EQ(ConnectedNow(), 3);
  for (const SeenEvent& event : observer.Events()) {
    EXPECT_EQ(event.text.find(u"lost"), std::u16string::npos) << Narrow(event.text.c_str());
  }
}

TEST_F(ModemDriverLibrary, ReopensAModemPluggedInAgainAndMissesNoCall) {
  modem1_->Unplug();
  const std::optional<SeenEvent> lost =
      observer.WaitForText(u"SLine 1: modem lost at " + Widen(Link(1)) + u" (");
  ASSERT_TRUE(lost);
  EXPECT_EQ(lost->connected, 2);
  EXPECT_EQ(ConnectedNow(), 2);

  modem1_ = std::make_unique<FakeModem>(Link(1), FakeModem::VcidModem());
  ASSERT_EQ(modem1_->problem(), "");
  EXPECT_EQ(modem1_->WaitForCommands(2), (std::vector<std::string>{"ATZ", "AT+VCID=1"}));
  const std::optional<SeenEvent> back = observer.WaitFor([](const SeenEvent& event) {
    return event.text == ReadyText(1, "AT+VCID=1") && event.connected == 3;
  });
  ASSERT_TRUE(back) << "no second ready event";
  modem1_->Send(kFullBlock);
  EXPECT_EQ(observer.WaitForCalls(1, 1), std::vector<std::u16string>{u"C5551234"});
}

TEST_F(ModemDriverLibrary, WithdrawalClosesThePortsAndRegistrationReopensThem) {
  ASSERT_EQ(api.register_event(nullptr, 0), 0);
  EXPECT_EQ(ConnectedNow(), 1);  // the simulated device alone
  observer.Reset();
  ASSERT_EQ(api.register_event(OnEvent, kRegisterEventValue), 0);
  EXPECT_EQ(modem1_->WaitForCommands(4),
            (std::vector<std::string>{"ATZ", "AT+VCID=1", "ATZ", "AT+VCID=1"}));
  ASSERT_TRUE(observer.WaitForText(ReadyText(1, "AT+VCID=1")));
  modem1_->Send(kFullBlock);
  EXPECT_EQ(observer.WaitForCalls(1, 1), std::vector<std::u16string>{u"C5551234"});
}

TEST_F(ModemDriverLibrary, ControlSocketReachesTheSimulatedDevice) {
  const std::string socket = directory_ + "/sim.sock";
  EXPECT_EQ(Converse(socket, "unplug 1\ncall 9 0912\n"), "OK\nOK\n");
  const std::vector<SeenEvent> events = observer.Events();
  ASSERT_GE(events.size(), 2U);
  EXPECT_EQ(events[events.size() - 2].text, u"SDevice 1 disconnected");
  EXPECT_EQ(events[events.size() - 2].connected, 2);
  EXPECT_EQ(events.back().code, 9);
  EXPECT_EQ(events.back().text, u"C0912");
  const std::string info = Converse(socket, "info\n").value_or("");
  EXPECT_NE(info.find("Line 9 sim 1: Disconnected\nOK\n"), std::string::npos) << info;
  EXPECT_EQ(Converse(socket, "plug 2\n"), "ERROR no device 2: the simulator has 1\n");
}

}  // namespace
}  // namespace qelto::cidr
