// End to end: the real qelto-callerid, with our driver configured for one caller-ID modem (a
// fake one on a pseudo-terminal), records the modem's call into its SQLite database.
//
// The recorder and the driver are copied into a private folder with a POS_CIDR.conf and a
// Server_Config.dll, and started headless (no display: Qt's offscreen platform) with a private
// runtime folder. The recorder connects to its database only about 15 s after start.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fake_modem.h"
#include "recorder_process.h"

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;
using namespace testing_support;

// The first connection comes 15 s after start; a write takes a tick or two after that.
constexpr auto kRecordPatience = 60s;

class ModemRecorderEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    char directory[] = "/tmp/qelto-modem-e2e-XXXXXX";
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
    std::ofstream(app_ / "POS_CIDR.conf")
        << "raw_log = raw.txt\n[device]\nkind = modem\nport = " << (base_ / "modem").string()
        << "\nline = 3\n";
  }

  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(base_, ignored);
  }

  // Starts the recorder with the driver, in the test's folders.
  RecorderProcess StartRecorder() const {
    const fs::path run = base_ / "run";
    return RecorderProcess(
        app_ / "qelto-callerid", base_ / "work", base_ / "recorder.err",
        RecorderEnvironment({"XDG_RUNTIME_DIR=" + run.string(),
                             "QELTO_CIDR_SIM_SOCKET=" + (run / "sim.sock").string()}));
  }

  // The rows of the calls table, once there are some (or the patience is spent).
  std::string WaitForRows() const {
    const auto deadline = std::chrono::steady_clock::now() + kRecordPatience;
    std::optional<std::string> rows;
    // The database is another process's file: nothing to wait on but its contents.
    while ((rows = CallRows(app_ / "calls.sqlite")).value_or("").empty() &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(kPollInterval);
    }
    return rows.value_or("(no table)");
  }

  // What to show when a step fails: the recorder's log and standard error.
  std::string Diagnosis() const {
    return "log.txt:\n" + ReadFile(base_ / "work" / "log.txt") + "\nstandard error:\n" +
           ReadFile(base_ / "recorder.err");
  }

  fs::path base_;
  fs::path app_;
};

TEST_F(ModemRecorderEndToEnd, RecordsTheModemsCallIntoTheDatabase) {
  FakeModem modem((base_ / "modem").string(), FakeModem::VcidModem());
  ASSERT_EQ(modem.problem(), "");
  RecorderProcess recorder = StartRecorder();
  ASSERT_TRUE(recorder.started());
  ASSERT_EQ(modem.WaitForCommands(2), (std::vector<std::string>{"ATZ", "AT+VCID=1"}))
      << Diagnosis();

  modem.Send("RING\r\n\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 09121234567\r\n\r\nRING\r\n");
  EXPECT_EQ(WaitForRows(), "3|09121234567\n") << Diagnosis();

  EXPECT_EQ(recorder.Terminate(), 0) << Diagnosis();
  const std::string log = ReadFile(base_ / "work" / "log.txt");
  EXPECT_NE(log.find("Line 3: modem ready at " + (base_ / "modem").string()), std::string::npos)
      << log;
  // Records hold what one read gave, so the block may share one with the modem's last answer.
  const std::string raw = ReadFile(app_ / "raw.txt");
  EXPECT_NE(raw.find(" line 3 < "), std::string::npos) << raw;
  EXPECT_NE(raw.find("NMBR = 09121234567\\r\\n"), std::string::npos) << raw;
}

// A modem gone deaf says nothing and answers nothing: checked after its quiet spell (3 s here,
// ten minutes in a shop), initialised again, reopened, and then it records the next call.
TEST_F(ModemRecorderEndToEnd, ResetsAModemThatWentDeafAndRecordsTheNextCall) {
  std::ofstream(app_ / "POS_CIDR.conf")
      << "raw_log = raw.txt\n[device]\nkind = modem\nport = " << (base_ / "modem").string()
      << "\nline = 3\nquiet_spell = 3\n";
  FakeModem modem((base_ / "modem").string(), FakeModem::VcidModem());
  ASSERT_EQ(modem.problem(), "");
  RecorderProcess recorder = StartRecorder();
  ASSERT_TRUE(recorder.started());
  ASSERT_EQ(modem.WaitForCommands(2).size(), 2U) << Diagnosis();
  // Deaf to the check and to the new initialisation; the reopened port finds it back.
  modem.GoDeaf(2);
  const std::vector<std::string> commands = modem.WaitForCommands(6);
  ASSERT_GE(commands.size(), 6U) << Diagnosis();
  EXPECT_EQ(std::vector<std::string>(commands.begin() + 2, commands.begin() + 6),
            (std::vector<std::string>{"AT", "ATZ", "ATZ", "AT+VCID=1"}))
      << Diagnosis();

  modem.Send("RING\r\n\r\nDATE = 1211\r\nTIME = 1105\r\nNMBR = 09127654321\r\n\r\nRING\r\n");
  EXPECT_EQ(WaitForRows(), "3|09127654321\n") << Diagnosis();
  EXPECT_EQ(recorder.Terminate(), 0) << Diagnosis();
  const std::string log = ReadFile(base_ / "work" / "log.txt");
  const std::string port = (base_ / "modem").string();
  for (const std::string& step :
       {std::string("Line 3: modem did not answer AT within 2 s; initialising it again"),
        "Line 3: modem did not answer when initialised again (no answer to ATZ); reopening " +
            port}) {
    EXPECT_NE(log.find(step), std::string::npos) << step << "\n" << log;
  }
  // Reset, not lost: ready twice, and no alert for an unplugged modem.
  const std::string ready = "Line 3: modem ready at " + port;
  EXPECT_NE(log.find(ready, log.find(ready) + 1), std::string::npos) << log;
  EXPECT_EQ(log.find("modem lost"), std::string::npos) << log;
  const std::string raw = ReadFile(app_ / "raw.txt");
  EXPECT_NE(raw.find(" line 3 # closed: the modem does not answer"), std::string::npos) << raw;
}

}  // namespace
}  // namespace qelto::cidr
