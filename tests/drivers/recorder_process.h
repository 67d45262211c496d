#pragma once

// The real recorder as the end-to-end tests of our driver run it: started headless in a folder
// of the test's own, its database read back as another process's file.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace qelto::cidr::testing_support {

namespace fs = std::filesystem;

inline constexpr std::chrono::seconds kExitPatience{15};
inline constexpr std::chrono::milliseconds kPollInterval{200};

inline std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The rows of Pos_Calls as "LineNumber|TotalNumber" lines; nullopt while the database or its
// table does not exist yet.
inline std::optional<std::string> CallRows(const fs::path& database) {
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
inline std::vector<std::string> RecorderEnvironment(const std::vector<std::string>& extra) {
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
  int pid() const { return pid_; }

  // Whether it still runs; once it ended, it is reaped and false from then on.
  bool Running() {
    if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    return pid_ > 0;
  }

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

}  // namespace qelto::cidr::testing_support
