// End to end: the real qelto-callerid, with our driver configured for one telephone system (our
// fake manager interface on loopback), records its incoming calls into its SQLite database, and
// tells the shop when the system goes away and comes back.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "ami_transcript.h"
#include "fake_ami_server.h"
#include "recorder_process.h"

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;
using namespace testing_support;

// The first database connection comes 15 s after start; a write takes a tick or two after that.
constexpr auto kRecordPatience = 60s;
// The driver logs in at once; after a loss it tries again within a few seconds.
constexpr auto kLoginPatience = 30s;

// An incoming call from `caller` to the shop's second number, rung on two phones.
std::string IncomingCall(const std::string& caller, const std::string& id) {
  const AmiChannel trunk{
      "PJSIP/provider-" + id, "from-trunk", "02155550001", caller, id + ".1", id + ".1"};
  const AmiChannel phone{"PJSIP/201-" + id, "from-internal", "201", caller, id + ".2", id + ".1"};
  const AmiChannel other{"PJSIP/202-" + id, "from-internal", "202", caller, id + ".3", id + ".1"};
  return Newchannel(trunk) + Newchannel(phone) + DialBegin(trunk, phone) + Newchannel(other) +
         DialBegin(trunk, other) + Answered(phone) + Hangup(other) + Hangup(phone) + Hangup(trunk);
}

// The channels of one incoming call from `caller`, numbered `id`: the trunk's and a phone's.
struct CallChannels {
  AmiChannel trunk;
  AmiChannel phone;
};
CallChannels Channels(const std::string& caller, const std::string& id) {
  return {{"PJSIP/provider-" + id, "from-trunk", "02155550001", caller, id + ".1", id + ".1"},
          {"PJSIP/201-" + id, "from-internal", "201", caller, id + ".2", id + ".1"}};
}
std::string Rings(const CallChannels& call) {
  return Newchannel(call.trunk) + Newchannel(call.phone) + DialBegin(call.trunk, call.phone);
}
std::string Ends(const CallChannels& call) {
  return Answered(call.phone) + Hangup(call.phone) + Hangup(call.trunk);
}

class PbxRecorderEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    char directory[] = "/tmp/qelto-pbx-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(directory), nullptr);
    base_ = directory;
    app_ = base_ / "app";
    for (const fs::path& folder : {app_, base_ / "work", base_ / "run"}) {
      fs::create_directory(folder);
    }
    fs::permissions(base_ / "run", fs::perms::owner_all);
    fs::copy_file(fs::path(QELTO_BIN_DIR) / "qelto-callerid", app_ / "qelto-callerid");
    fs::copy_file(QELTO_CIDR_DRIVER_PATH, app_ / "libPOS_CIDR.so");
    std::ofstream(app_ / "Server_Config.dll") << "e2e\nsqlite:calls.sqlite\nShop\n0\nrecorder\n";
  }

  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(base_, ignored);
  }

  void Configure(int port) {
    std::ofstream(app_ / "POS_CIDR.conf")
        << "raw_log = raw.txt\n[device]\nkind = pbx\nhost = 127.0.0.1\nport = " << port
        << "\nuser = qelto\nsecret = Sh0p-s3cret\nline = 4\ndid_line = 02155550001 = 5\n";
  }

  std::string Diagnosis() const {
    return "log.txt:\n" + ReadFile(base_ / "work" / "log.txt") + "\nstandard error:\n" +
           ReadFile(base_ / "recorder.err");
  }

  // Waits until the database holds `expected` rows (as CallRows gives them).
  std::string WaitForRows(const std::string& expected) {
    const auto deadline = std::chrono::steady_clock::now() + kRecordPatience;
    std::optional<std::string> rows;
    // The database is another process's file: nothing to wait on but its contents.
    while ((rows = CallRows(app_ / "calls.sqlite")).value_or("") != expected &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(kPollInterval);
    }
    return rows.value_or("(no table)");
  }

  // Waits until log.txt holds `text`.
  bool WaitForLog(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + kLoginPatience;
    while (ReadFile(base_ / "work" / "log.txt").find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(kPollInterval);
    }
    return true;
  }

  RecorderProcess StartRecorder() {
    const fs::path run = base_ / "run";
    return RecorderProcess(
        app_ / "qelto-callerid", base_ / "work", base_ / "recorder.err",
        RecorderEnvironment({"XDG_RUNTIME_DIR=" + run.string(),
                             "QELTO_CIDR_SIM_SOCKET=" + (run / "sim.sock").string()}));
  }

  fs::path base_;
  fs::path app_;
};

TEST_F(PbxRecorderEndToEnd, RecordsCallsAndRidesOutTheSystemsRestart) {
  auto server = std::make_unique<FakeAmiServer>("qelto", "Sh0p-s3cret");
  ASSERT_EQ(server->problem(), "");
  const int port = server->port();
  const std::string address = "127.0.0.1:" + std::to_string(port);
  Configure(port);
  const fs::path run = base_ / "run";
  RecorderProcess recorder(
      app_ / "qelto-callerid", base_ / "work", base_ / "recorder.err",
      RecorderEnvironment({"XDG_RUNTIME_DIR=" + run.string(),
                           "QELTO_CIDR_SIM_SOCKET=" + (run / "sim.sock").string()}));
  ASSERT_TRUE(recorder.started());
  ASSERT_TRUE(server->WaitForLogins(1, kLoginPatience)) << Diagnosis();
  EXPECT_EQ(server->refused_logins(), 0);

  ASSERT_TRUE(server->Send(IncomingCall("09121234567", "1700000001")));
  EXPECT_EQ(WaitForRows("5|09121234567\n"), "5|09121234567\n") << Diagnosis();

  // The system is switched off: the device is disconnected, and the log says why.
  server.reset();
  EXPECT_TRUE(WaitForLog("Line 4: pbx lost at " + address + " (closed by the server)"))
      << Diagnosis();

  // Back again: the driver logs in by itself and the next call is recorded.
  server = std::make_unique<FakeAmiServer>("qelto", "Sh0p-s3cret", port);
  ASSERT_EQ(server->problem(), "");
  ASSERT_TRUE(server->WaitForLogins(1, kLoginPatience)) << Diagnosis();
  ASSERT_TRUE(server->Send(IncomingCall("02188887777", "1700000002")));
  EXPECT_EQ(WaitForRows("5|09121234567\n5|02188887777\n"), "5|09121234567\n5|02188887777\n")
      << Diagnosis();

  EXPECT_EQ(recorder.Terminate(), 0) << Diagnosis();
  const std::string log = ReadFile(base_ / "work" / "log.txt");
  const std::string ready = "Line 4: pbx ready at " + address + " as qelto";
  const std::size_t first = log.find(ready);
  EXPECT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find(ready, first + 1), std::string::npos) << log;
  // The traffic is in the raw data file, the secret and the key that proves it are not.
  const std::string raw = ReadFile(app_ / "raw.txt");
  EXPECT_NE(raw.find(" line 4 < Event: Newchannel"), std::string::npos) << raw;
  EXPECT_NE(raw.find("Key: ********"), std::string::npos) << raw;
  EXPECT_EQ(raw.find("Sh0p-s3cret"), std::string::npos) << raw;
  EXPECT_EQ(log.find("Sh0p-s3cret"), std::string::npos) << log;
}

// An upgrade or a log-out in the middle of a call: the recorder started again hears the rest of
// that call, and of one that began while it was away, and records each once.
TEST_F(PbxRecorderEndToEnd, RecorderRestartedMidCallRecordsEachCallOnce) {
  FakeAmiServer server("qelto", "Sh0p-s3cret");
  ASSERT_EQ(server.problem(), "");
  Configure(server.port());
  const CallChannels first = Channels("09121234567", "1700000011");
  const CallChannels meanwhile = Channels("02188887777", "1700000012");
  {
    RecorderProcess recorder = StartRecorder();
    ASSERT_TRUE(recorder.started());
    ASSERT_TRUE(server.WaitForLogins(1, kLoginPatience)) << Diagnosis();
    ASSERT_TRUE(server.Send(Rings(first)));
    ASSERT_EQ(WaitForRows("5|09121234567\n"), "5|09121234567\n") << Diagnosis();
    EXPECT_EQ(recorder.Terminate(), 0) << Diagnosis();
  }
  // While no recorder runs, the second call rings; both go on.
  server.SetChannelsInProgress({AmiFields(first.trunk), AmiFields(first.phone),
                                AmiFields(meanwhile.trunk), AmiFields(meanwhile.phone)});
  RecorderProcess recorder = StartRecorder();
  ASSERT_TRUE(recorder.started());
  ASSERT_TRUE(server.WaitForLogins(2, kLoginPatience)) << Diagnosis();
  ASSERT_TRUE(
      server.Send(Ends(first) + Ends(meanwhile) + IncomingCall("02133334444", "1700000013")));
  const std::string expected = "5|09121234567\n5|02188887777\n5|02133334444\n";
  EXPECT_EQ(WaitForRows(expected), expected) << Diagnosis();
  EXPECT_EQ(recorder.Terminate(), 0) << Diagnosis();
  EXPECT_GE(server.listings(), 2);
}

}  // namespace
}  // namespace qelto::cidr
