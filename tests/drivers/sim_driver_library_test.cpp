// Loads the real libPOS_CIDR.so the way the recorder does and drives it through its control
// socket and through the qelto-cidr-sim tool.
//
// The driver reads its socket path and device count from the environment, and it is one per
// process; this executable therefore holds these tests only, and the suite sets the variables
// to a private directory once, before the library is loaded.

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/driver_abi.h"
#include "driver_observer.h"
#include "drivers/posix/unique_fd.h"
#include "recorder_reading.h"

extern char** environ;

namespace qelto::sim {
namespace {

using namespace std::chrono_literals;

using namespace testing_support;  // the driver's callback and what it saw

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

// Sends `lines` on one connection and returns all the driver answered before it closed, or
// nullopt when nobody listens at `path`.
std::optional<std::string> Converse(const std::string& path, const std::string& lines) {
  const UniqueFd fd = Connect(path);
  if (!fd.valid()) return std::nullopt;
  const timeval patience{std::chrono::seconds(kPatience).count(), 0};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof(patience));
  if (::send(fd.get(), lines.data(), lines.size(), MSG_NOSIGNAL) < 0) return std::string();
  ::shutdown(fd.get(), SHUT_WR);
  return ReadToEnd(fd.get());
}

struct ToolRun {
  int exit_code = -1;
  std::string output;  // standard output and standard error together
};

ToolRun RunTool(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), QELTO_SIM_TOOL_PATH);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
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

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

class SimDriverLibrary : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char directory[] = "/tmp/qelto-sim-test-XXXXXX";
    if (::mkdtemp(directory) == nullptr) return;
    directory_ = directory;
    socket_path_ = directory_ + "/sim.sock";
    ::setenv("QELTO_CIDR_SIM_SOCKET", socket_path_.c_str(), 1);
    ::setenv("QELTO_CIDR_SIM_DEVICES", "2", 1);
    // Never closed: like the recorder, the process keeps its driver until it ends.
    void* library = ::dlopen(QELTO_SIM_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      load_error_ = ::dlerror();
      return;
    }
    api.info = reinterpret_cast<CIDR_InfoFunction>(::dlsym(library, "CIDR_Info"));
    api.register_event =
        reinterpret_cast<CIDR_RegisterEventFunction>(::dlsym(library, "CIDR_RegisterEvent"));
  }

  static void TearDownTestSuite() {
    if (!directory_.empty()) ::rmdir(directory_.c_str());
  }

  void SetUp() override {
    ASSERT_FALSE(directory_.empty()) << "no temporary directory";
    ASSERT_TRUE(load_error_.empty()) << load_error_;
    ASSERT_NE(api.info, nullptr);
    ASSERT_NE(api.register_event, nullptr);
    observer.Reset();
  }

  void TearDown() override {
    if (api.register_event != nullptr) api.register_event(nullptr, 0);
  }

  static std::int32_t Register() { return api.register_event(OnEvent, kRegisterEventValue); }

  // Withdraws and marks the moment at which the driver must have fallen silent.
  static void Withdraw() {
    EXPECT_EQ(api.register_event(nullptr, 0), 0);
    observer.withdrawn = true;
  }

  static inline std::string directory_;
  static inline std::string socket_path_;
  static inline std::string load_error_;
};

TEST_F(SimDriverLibrary, DeliversCommandsAsEventsOnItsOwnThread) {
  const char16_t* before = static_cast<const char16_t*>(api.info());
  const std::string text_before = Narrow(before);
  EXPECT_EQ(testing_support::VersionWithinFirst30(text_before), "2.1");
  EXPECT_EQ(testing_support::ConnectedDeviceCount(text_before), 2);

  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  const std::optional<std::string> reply = Converse(socket_path_, "call 2 0912\nunplug\nplug\n");
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, "OK\nOK\nOK\n");

  // Each event is delivered before its reply is sent, so all have arrived by now.
  const std::vector<SeenEvent> events = observer.Events();
  ASSERT_EQ(events.size(), 4U);
  EXPECT_EQ(events[0].code, 0);
  EXPECT_EQ(events[0].text, u"SSimulator started: 2 of 2 devices connected");
  EXPECT_EQ(events[0].connected, 2);
  EXPECT_EQ(events[1].code, 2);
  EXPECT_EQ(events[1].text, u"C0912");
  EXPECT_EQ(events[2].text, u"SDevice 1 disconnected");
  EXPECT_EQ(events[2].connected, 1);
  EXPECT_EQ(events[3].text, u"SDevice 1 connected");
  EXPECT_EQ(events[3].connected, 2);
  for (const SeenEvent& event : events) {
    EXPECT_NE(event.thread, std::this_thread::get_id());
    EXPECT_EQ(event.thread, events[0].thread);
  }
  // The text handed out before is this thread's own: the callback's CIDR_Info calls on the
  // driver's thread, while device 1 was unplugged, did not overwrite it.
  EXPECT_EQ(Narrow(before), text_before);

  Withdraw();
  EXPECT_FALSE(Exists(socket_path_));
  EXPECT_FALSE(Converse(socket_path_, "call 1 1\n").has_value());
  EXPECT_EQ(observer.calls_after_withdrawal, 0);
}

TEST_F(SimDriverLibrary, NoCallbackRunsOnceWithdrawalHasReturned) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  // Keeps the driver busy delivering calls until its socket is gone.
  std::thread caller([] {
    while (Converse(socket_path_, "call 1 1\ncall 1 2\n").has_value()) {
    }
  });
  EXPECT_TRUE(observer.WaitForEvents(50));
  Withdraw();
  caller.join();
  EXPECT_EQ(observer.calls_after_withdrawal, 0);
}

TEST_F(SimDriverLibrary, WithdrawingFromInsideTheCallbackStopsAtOnce) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  const std::optional<std::string> reply = Converse(socket_path_, "status withdraw-me\ncall 1 5\n");
  ASSERT_TRUE(reply.has_value());
  // The second line is not served: the driver stopped while handling the first.
  EXPECT_EQ(*reply, "OK\n");
  EXPECT_EQ(observer.inner_withdraw_result, 0);
  EXPECT_FALSE(Exists(socket_path_));
  EXPECT_EQ(observer.Events().size(), 2U);

  // Registering again from outside works, and finishes the thread that withdrew itself.
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(3));
  const std::vector<SeenEvent> events = observer.Events();
  EXPECT_EQ(events[1].text, u"Swithdraw-me");
  EXPECT_EQ(events[2].text, u"SSimulator started: 2 of 2 devices connected");
  EXPECT_NE(Converse(socket_path_, "info\n").value_or("").find("Line 2: Connected\nOK\n"),
            std::string::npos);
}

TEST_F(SimDriverLibrary, IdleClientsDoNotLockOutTheTool) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  // As many clients as the driver serves at once; one of them stops in the middle of a line.
  std::vector<UniqueFd> idle;
  for (int i = 0; i < 16; ++i) {
    idle.push_back(Connect(socket_path_));
    ASSERT_TRUE(idle.back().valid());
  }
  ASSERT_EQ(::send(idle.back().get(), "call 1 ", 7, MSG_NOSIGNAL), 7);

  // The tool waits for a free place (its own patience is 10 s) instead of being turned away.
  const ToolRun call = RunTool({"call", "3", "77"});
  ASSERT_EQ(call.exit_code, 0) << call.output;
  EXPECT_EQ(call.output, "OK\n");

  // Idle clients are closed unanswered, and a half line is not taken for a command.
  const timeval patience{std::chrono::seconds(kPatience).count(), 0};
  for (const UniqueFd& fd : idle) {
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof(patience));
    char byte = 0;
    EXPECT_EQ(::recv(fd.get(), &byte, 1, 0), 0);  // the end of the stream, not the patience
  }
  const std::vector<SeenEvent> events = observer.Events();
  ASSERT_EQ(events.size(), 2U);
  EXPECT_EQ(events[1].text, u"C77");
  Withdraw();
}

TEST_F(SimDriverLibrary, ReplacesAStaleSocketButNoOtherFile) {
  {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket_path_.copy(address.sun_path, sizeof(address.sun_path) - 1);
    const UniqueFd stale(::socket(AF_UNIX, SOCK_STREAM, 0));
    ASSERT_EQ(::bind(stale.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  }
  ASSERT_TRUE(Exists(socket_path_));
  ASSERT_EQ(Register(), 0);
  EXPECT_EQ(Converse(socket_path_, "call 4 1\n"), "OK\n");
  Withdraw();

  const UniqueFd file(::open(socket_path_.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
  ASSERT_TRUE(file.valid());
  observer.Reset();
  EXPECT_EQ(Register(), -1);
  // The recorder logs status texts, so the start event is how the operator learns of it.
  ASSERT_TRUE(observer.WaitForEvents(1));
  EXPECT_EQ(observer.Events()[0].text,
            u"SSimulator started without control socket (" +
                std::u16string(socket_path_.begin(), socket_path_.end()) +
                u": exists and is not a socket): 2 of 2 devices connected");
  EXPECT_EQ(observer.Events()[0].connected, 2);
  Withdraw();
  EXPECT_TRUE(Exists(socket_path_));
  ::unlink(socket_path_.c_str());
}

TEST_F(SimDriverLibrary, ToolDrivesTheRunningDriver) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));

  const ToolRun call = RunTool({"call", "3", "77"});
  EXPECT_EQ(call.exit_code, 0) << call.output;
  EXPECT_EQ(call.output, "OK\n");
  const std::vector<SeenEvent> events = observer.Events();
  ASSERT_EQ(events.size(), 2U);
  EXPECT_EQ(events[1].code, 3);
  EXPECT_EQ(events[1].text, u"C77");

  const ToolRun refused = RunTool({"unplug", "5"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.output, "ERROR no device 5: the simulator has 2\n");
  EXPECT_EQ(RunTool({"ring", "1"}).exit_code, 2);
  const ToolRun info = RunTool({"info"});
  EXPECT_EQ(info.exit_code, 0);
  EXPECT_NE(info.output.find("VER 2.1\n"), std::string::npos) << info.output;

  Withdraw();
  const ToolRun nobody = RunTool({"info"});
  EXPECT_EQ(nobody.exit_code, 1);
  EXPECT_NE(nobody.output.find("no running caller-ID simulator at " + socket_path_ +
                               ": is qelto-callerid running?"),
            std::string::npos)
      << nobody.output;
}

}  // namespace
}  // namespace qelto::sim
