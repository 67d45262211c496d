// Loads the real libPOS_CIDR.so, configured by a POS_CIDR.conf beside it for two telephone
// systems (fake manager interfaces on loopback: one the driver may log in to, one that refuses
// it), and drives it through them: calls, floods, garbage, a system switched off and on again.
//
// The driver reads its configuration once per process, so this executable holds these tests
// only.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ami_transcript.h"
#include "device/driver_abi.h"
#include "driver_observer.h"
#include "fake_ami_server.h"
#include "recorder_reading.h"

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;
using namespace testing_support;

// The driver reconnects within 1 to 4 s in these tests.
constexpr std::chrono::seconds kPbxPatience = 30s;

int ConnectedNow() {
  return ConnectedDeviceCount(Narrow(static_cast<const char16_t*>(api.info())));
}

// An incoming call `n` from `caller` to `dialled`, rung on `extensions` phones at once.
std::string Call(int n, const std::string& caller, int extensions,
                 const std::string& dialled = "02155550000") {
  const std::string key = "1700" + std::to_string(100000 + n);
  const AmiChannel trunk{
      "PJSIP/provider-" + key, "from-trunk", dialled, caller, key + ".0", key + ".0"};
  std::string text = Newchannel(trunk);
  for (int e = 1; e <= extensions; ++e) {
    const AmiChannel phone{"PJSIP/" + std::to_string(200 + e) + "-" + key,
                           "from-internal",
                           std::to_string(200 + e),
                           caller,
                           key + "." + std::to_string(e),
                           key + ".0"};
    text += Newchannel(phone) + DialBegin(trunk, phone);
  }
  for (int e = 1; e <= extensions; ++e) {
    text += Hangup({"PJSIP/" + std::to_string(200 + e) + "-" + key, "from-internal",
                    std::to_string(200 + e), caller, key + "." + std::to_string(e), key + ".0"});
  }
  return text + Hangup(trunk);
}

class PbxDriverLibrary : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char directory[] = "/tmp/qelto-pbx-test-XXXXXX";
    if (::mkdtemp(directory) == nullptr) return;
    directory_ = directory;
    std::error_code error;
    std::filesystem::copy_file(QELTO_CIDR_DRIVER_PATH, directory_ + "/libPOS_CIDR.so", error);
    // The driver keeps its files of reported calls in the process's folder, as in the recorder's.
    std::filesystem::current_path(directory_, error);
    if (error) {
      load_error_ = "cannot copy the driver: " + error.message();
      return;
    }
    server_ = std::make_unique<FakeAmiServer>("qelto", "right");
    // Another system on the same PC: another port and another user, or it would be the first
    // one again.
    refusing_ = std::make_unique<FakeAmiServer>("cashier", "other");
    port_ = server_->port();
    std::ofstream(directory_ + "/POS_CIDR.conf")
        << "raw_log = raw.txt\n"
           "[device]\nkind = pbx\nhost = 127.0.0.1\nport = "
        << port_
        << "\nuser = qelto\nsecret = right\nline = 1\ndid_line = 02155550001 = 2\n"
           "[device]\nkind = pbx\nhost = localhost\nport = "
        << refusing_->port() << "\nuser = cashier\nsecret = wrong\nlogin = plain\nline = 3\n";
    ::setenv("QELTO_CIDR_SIM_SOCKET", (directory_ + "/sim.sock").c_str(), 1);
    load_error_ = LoadDriver(directory_ + "/libPOS_CIDR.so");
  }

  static void TearDownTestSuite() {
    server_.reset();
    refusing_.reset();
    if (!directory_.empty()) std::filesystem::remove_all(directory_);
  }

  static std::u16string Ready() {
    return u"SLine 1: pbx ready at 127.0.0.1:" + Widen(std::to_string(port_)) + u" as qelto";
  }

  void SetUp() override {
    ASSERT_FALSE(directory_.empty()) << "no temporary directory";
    ASSERT_TRUE(load_error_.empty()) << load_error_;
    ASSERT_EQ(server_->problem(), "");
    observer.Reset();
    observer.patience = kPbxPatience;
    logins_ = server_->logins();
    ASSERT_EQ(api.register_event(OnEvent, kRegisterEventValue), 0);
    ASSERT_TRUE(observer.WaitForText(Ready()));
    ASSERT_TRUE(server_->WaitForLogins(logins_ + 1, kPbxPatience));
  }

  void TearDown() override {
    if (api.register_event != nullptr) api.register_event(nullptr, 0);
  }

  static inline std::string directory_;
  static inline std::string load_error_;
  static inline std::unique_ptr<FakeAmiServer> server_;
  static inline std::unique_ptr<FakeAmiServer> refusing_;
  static inline int port_ = 0;
  int logins_ = 0;
};

TEST_F(PbxDriverLibrary, ListsItsDevicesAndSaysWhyOneIsRefused) {
  ASSERT_TRUE(observer.WaitForText(
      u"SLine 3: pbx login refused at localhost:" + Widen(std::to_string(refusing_->port())) +
      u" for user cashier (Authentication failed), retrying every 60 s"));
  EXPECT_GE(refusing_->refused_logins(), 1);
  const std::string info = Narrow(static_cast<const char16_t*>(api.info()));
  EXPECT_EQ(SplitLines(info),
            (std::vector<std::string>{
                "POS CID Modems", "VER 2.1", "Ports 2", "Devices",
                "Line 1 pbx 127.0.0.1:" + std::to_string(port_) + ": Connected",
                "Line 3 pbx localhost:" + std::to_string(refusing_->port()) + ": Disconnected"}));
}

TEST_F(PbxDriverLibrary, ReportsEachCallOnceThroughAFlood) {
  // 300 calls, each ringing ten phones: some 13,000 events sent as fast as the socket takes
  // them, every third to the second number.
  std::string flood;
  std::vector<std::u16string> line1;
  std::vector<std::u16string> line2;
  for (int n = 0; n < 300; ++n) {
    const std::string number = "0912" + std::to_string(1000000 + n);
    flood += Call(n, number, 10, n % 3 == 0 ? "02155550001" : "02155550000");
    (n % 3 == 0 ? line2 : line1).push_back(u"C" + Widen(number));
  }
  ASSERT_TRUE(server_->Send(flood));
  EXPECT_EQ(observer.WaitForCalls(2, line2.size()), line2);
  EXPECT_EQ(observer.WaitForCalls(1, line1.size()), line1);
  // The same calls again, as after a reconnect: nothing new.
  ASSERT_TRUE(server_->Send(Call(0, "09121000000", 2) + Call(1, "09121000001", 2) +
                            Call(999, "<unknown>", 1)));
  EXPECT_EQ(observer.WaitForCalls(1, line1.size() + 1).back(), u"C");
  EXPECT_EQ(observer.Calls(1).size(), line1.size() + 1);
}

TEST_F(PbxDriverLibrary, DropsAServerThatSendsGarbageAndComesBack) {
  ASSERT_TRUE(server_->Send("Event: Newchannel\r\n" + std::string(70000, 'x')));
  ASSERT_TRUE(observer.WaitForText(u"SLine 1: pbx lost at 127.0.0.1:" +
                                   Widen(std::to_string(port_)) +
                                   u" (a message over 64 KB), reconnecting"));
  ASSERT_TRUE(server_->WaitForLogins(logins_ + 2, kPbxPatience));
  ASSERT_TRUE(observer.WaitFor(
      [](const SeenEvent& event) { return event.text == Ready() && event.connected == 1; }));
  ASSERT_TRUE(server_->Send(Call(500, "09129998888", 3)));
  EXPECT_EQ(observer.WaitForCalls(1, 1), std::vector<std::u16string>{u"C09129998888"});
}

TEST_F(PbxDriverLibrary, SaysWhenTheSystemIsGoneAndLogsInWhenItIsBack) {
  server_.reset();
  const std::optional<SeenEvent> lost =
      observer.WaitForText(u"SLine 1: pbx lost at 127.0.0.1:" + Widen(std::to_string(port_)) +
                           u" (closed by the server), reconnecting");
  ASSERT_TRUE(lost);
  EXPECT_EQ(lost->connected, 0);
  EXPECT_EQ(ConnectedNow(), 0);
  server_ = std::make_unique<FakeAmiServer>("qelto", "right", port_);
  ASSERT_EQ(server_->problem(), "");
  ASSERT_TRUE(server_->WaitForLogins(1, kPbxPatience));
  ASSERT_TRUE(observer.WaitFor(
      [](const SeenEvent& event) { return event.text == Ready() && event.connected == 1; }));
  ASSERT_TRUE(server_->Send(Call(600, "+989121234567", 1)));
  EXPECT_EQ(observer.WaitForCalls(1, 1), std::vector<std::u16string>{u"C00989121234567"});
}

TEST_F(PbxDriverLibrary, KeepsTheSecretOutOfTheRawDataFile) {
  ASSERT_TRUE(server_->Send(Call(700, "0211234567", 1)));
  ASSERT_EQ(observer.WaitForCalls(1, 1).size(), 1U);
  std::ifstream file(directory_ + "/raw.txt", std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  const std::string raw = text.str();
  EXPECT_NE(raw.find(" line 1 > Action: Login\\r\\n"), std::string::npos) << raw;
  EXPECT_NE(raw.find(" line 3 > Action: Login\\r\\n"), std::string::npos) << raw;
  EXPECT_NE(raw.find("Secret: ********"), std::string::npos) << raw;
  EXPECT_EQ(raw.find("wrong"), std::string::npos) << raw;
  // Line 1 logs in with MD5: its key is written, masked, every time.
  int keys = 0;
  for (std::size_t at = raw.find("Key: "); at != std::string::npos;
       at = raw.find("Key: ", at + 1)) {
    ++keys;
    EXPECT_EQ(raw.compare(at, 13, "Key: ********"), 0) << raw.substr(at, 60);
  }
  EXPECT_GE(keys, 1) << "no MD5 login in the raw data file: " << raw;
}

}  // namespace
}  // namespace qelto::cidr
