// The simulated driver's bench on Linux (sim_driver_bench.h): the real libPOS_CIDR.so loaded with
// dlopen, its control socket in a private folder, the tool run with posix_spawn; and what only
// Linux has, a socket file left behind.
//
// The driver reads its socket path and device count from the environment, and it is one per
// process; this executable therefore holds these tests only, and the bench sets the variables
// once, before the library is loaded.

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "device/driver_abi.h"
#include "driver_observer.h"
#include "drivers/posix/unique_fd.h"
#include "sim_driver_bench.h"

extern char** environ;

namespace qelto::cidr::testing_support {
namespace {

UniqueFd Connect(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof(address.sun_path) - 1);
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    return {};
  }
  return fd;
}

void SetPatience(int fd) {
  const timeval patience{std::chrono::seconds(kPatience).count(), 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof(patience));
}

std::string ReadToEnd(int fd) {
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof(buffer))) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

class PosixSimDriverBench final : public SimDriverBench {
 public:
  PosixSimDriverBench() {
    char directory[] = "/tmp/qelto-sim-test-XXXXXX";
    if (::mkdtemp(directory) == nullptr) {
      problem_ = "no temporary directory";
      return;
    }
    directory_ = directory;
    socket_path_ = directory_ + "/sim.sock";
    ::setenv("QELTO_CIDR_SIM_SOCKET", socket_path_.c_str(), 1);
    ::setenv("QELTO_CIDR_SIM_DEVICES", "2", 1);
    problem_ = LoadDriver(QELTO_SIM_DRIVER_PATH);
  }

  ~PosixSimDriverBench() override {
    if (!directory_.empty()) ::rmdir(directory_.c_str());
  }

  const std::string& problem() const override { return problem_; }
  const std::string& channel() const override { return socket_path_; }

  // A socket is closed for writing once all is sent: the driver answers all, then closes.
  std::optional<std::string> Converse(const std::string& lines, int /*replies*/) override {
    const UniqueFd fd = Connect(socket_path_);
    if (!fd.valid()) return std::nullopt;
    SetPatience(fd.get());
    if (::send(fd.get(), lines.data(), lines.size(), MSG_NOSIGNAL) < 0) return std::string();
    ::shutdown(fd.get(), SHUT_WR);
    return ReadToEnd(fd.get());
  }

  bool ChannelGone() override { return !Exists(socket_path_); }

  ToolRun RunTool(const std::vector<std::string>& arguments) override {
    std::vector<std::string> words = arguments;
    words.insert(words.begin(), QELTO_SIM_TOOL_PATH);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return {};
    UniqueFd read_end(pipe_fds[0]);
    UniqueFd write_end(pipe_fds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, write_end.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, write_end.get(), STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {};
    write_end.Reset();
    ToolRun run;
    run.output = ReadToEnd(read_end.get());
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }

  std::string HoldIdleClients(int count, std::string_view partial) override {
    idle_.clear();
    for (int i = 0; i < count; ++i) {
      idle_.push_back(Connect(socket_path_));
      if (!idle_.back().valid()) return "client " + std::to_string(i) + " not connected";
    }
    const auto sent = ::send(idle_.back().get(), partial.data(), partial.size(), MSG_NOSIGNAL);
    return sent == static_cast<ssize_t>(partial.size()) ? "" : "the part of a line was not sent";
  }

  int IdleClientsClosed() override {
    int closed = 0;
    for (const UniqueFd& fd : idle_) {
      SetPatience(fd.get());
      char byte = 0;
      closed += ::recv(fd.get(), &byte, 1, 0) == 0 ? 1 : 0;  // the end of the stream
    }
    idle_.clear();
    return closed;
  }

 private:
  std::string problem_;
  std::string directory_;
  std::string socket_path_;
  std::vector<UniqueFd> idle_;
};

}  // namespace

SimDriverBench& Bench() {
  static PosixSimDriverBench bench;
  return bench;
}

namespace {

TEST_F(SimDriverLibrary, ReplacesAStaleSocketButNoOtherFile) {
  const std::string& socket_path = Bench().channel();
  {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket_path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    const UniqueFd stale(::socket(AF_UNIX, SOCK_STREAM, 0));
    ASSERT_EQ(::bind(stale.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  }
  ASSERT_TRUE(Exists(socket_path));
  ASSERT_EQ(Register(), 0);
  EXPECT_EQ(Bench().Converse("call 4 1\n", 1), "OK\n");
  Withdraw();

  const UniqueFd file(::open(socket_path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
  ASSERT_TRUE(file.valid());
  observer.Reset();
  EXPECT_EQ(Register(), -1);
  // The recorder logs status texts, so the start event is how the operator learns of it.
  ASSERT_TRUE(observer.WaitForEvents(1));
  EXPECT_EQ(observer.Events()[0].text,
            u"SSimulator started without control socket (" + Widen(socket_path) +
                u": exists and is not a socket): 2 of 2 devices connected");
  EXPECT_EQ(observer.Events()[0].connected, 2);
  Withdraw();
  EXPECT_TRUE(Exists(socket_path));
  ::unlink(socket_path.c_str());
}

}  // namespace
}  // namespace qelto::cidr::testing_support
