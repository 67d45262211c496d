// End to end: the real qelto-callerid, with our driver configured for one caller-ID modem (a
// fake one on a pseudo-terminal), records the modem's call into its SQLite database.
//
// The recorder and the driver are copied into a private folder with a POS_CIDR.conf and a
// Server_Config.dll, and started headless (no display: Qt's offscreen platform) with a private
// runtime folder. The recorder connects to its database only about 15 s after start.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_modem.h"

extern char** environ;

namespace qelto::sim {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeModem;
namespace fs = std::filesystem;

// The first connection comes 15 s after start; a write takes a tick or two after that.
constexpr auto kRecordPatience = 60s;
constexpr auto kExitPatience = 15s;
constexpr auto kPollInterval = 200ms;

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The rows of Pos_Calls as "LineNumber|TotalNumber" lines; nullopt while the database or its
// table does not exist yet.
std::optional<std::string> CallRows(const fs::path& database) {
  sqlite3* handle = nullptr;
  if (::sqlite3_open_v2(database.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ::sqlite3_close(handle);
    return std::nullopt;
  }
  ::sqlite3_busy_timeout(handle, 1000);
  sqlite3_stmt* statement = nullptr;
  std::optional<std::string> rows;
  if (::sqlite3_prepare_v2(handle,
                           "SELECT LineNumber, TotalNumber FROM Pos_Calls ORDER BY IdNumber", -1,
                           &statement, nullptr) == SQLITE_OK) {
    rows.emplace();
    while (::sqlite3_step(statement) == SQLITE_ROW) {
      const auto* line = ::sqlite3_column_text(statement, 0);
      const auto* number = ::sqlite3_column_text(statement, 1);
      *rows += std::string(line ? reinterpret_cast<const char*>(line) : "") + "|" +
               std::string(number ? reinterpret_cast<const char*>(number) : "") + "\n";
    }
  }
  ::sqlite3_finalize(statement);
  ::sqlite3_close(handle);
  return rows;
}

// The environment of this process without what would lead the recorder to a display or to
// someone else's runtime folder, plus `extra`.
std::vector<std::string> RecorderEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    const std::string name = variable.substr(0, variable.find('='));
    if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM" ||
        name == "XDG_RUNTIME_DIR" || name == "QELTO_CIDR_SIM_SOCKET" || name == "LD_LIBRARY_PATH") {
      continue;
    }
    variables.push_back(variable);
  }
  variables.insert(variables.end(), extra.begin(), extra.end());
  return variables;
}

class RecorderProcess {
 public:
  // Starts `program` in `directory`, its standard error going to `error_file`.
  RecorderProcess(const fs::path& program, const fs::path& directory, const fs::path& error_file,
                  std::vector<std::string> environment) {
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string path = program;
    char* argv[] = {path.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, error_file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }

  ~RecorderProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool started() const { return pid_ > 0; }

  // Sends SIGTERM and waits for the end; the exit code, or nullopt when it did not end by
  // itself in time or ended by a signal.
  std::optional<int> Terminate() {
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kExitPatience;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(kPollInterval);  // no way to wait on a child with a time-out
    }
    pid_ = -1;
    if (!WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
  }

 private:
  pid_t pid_ = -1;
};

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
  const fs::path run = base_ / "run";
  RecorderProcess recorder(
      app_ / "qelto-callerid", base_ / "work", base_ / "recorder.err",
      RecorderEnvironment({"XDG_RUNTIME_DIR=" + run.string(),
                           "QELTO_CIDR_SIM_SOCKET=" + (run / "sim.sock").string()}));
  ASSERT_TRUE(recorder.started());
  ASSERT_EQ(modem.WaitForCommands(2), (std::vector<std::string>{"ATZ", "AT+VCID=1"}))
      << Diagnosis();

  modem.Send("RING\r\n\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 09121234567\r\n\r\nRING\r\n");
  const auto deadline = std::chrono::steady_clock::now() + kRecordPatience;
  std::optional<std::string> rows;
  // The database is another process's file: nothing to wait on but its contents.
  while ((rows = CallRows(app_ / "calls.sqlite")).value_or("").empty() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kPollInterval);
  }
  EXPECT_EQ(rows.value_or("(no table)"), "3|09121234567\n") << Diagnosis();

  EXPECT_EQ(recorder.Terminate(), 0) << Diagnosis();
  const std::string log = ReadFile(base_ / "work" / "log.txt");
  EXPECT_NE(log.find("Line 3: modem ready at " + (base_ / "modem").string()), std::string::npos)
      << log;
  // Records hold what one read gave, so the block may share one with the modem's last answer.
  const std::string raw = ReadFile(app_ / "raw.txt");
  EXPECT_NE(raw.find(" line 3 < "), std::string::npos) << raw;
  EXPECT_NE(raw.find("NMBR = 09121234567\\r\\n"), std::string::npos) << raw;
}

}  // namespace
}  // namespace qelto::sim
