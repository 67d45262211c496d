// Loads the built POS_CIDR.dll the way the Windows recorder does and drives it through its
// named pipe and through qelto-cidr-sim.exe.
//
// The driver reads its pipe name and device count from the environment, and it is one per
// process; this executable therefore holds these tests only, and the suite sets the variables
// to a pipe of its own once, before the library is loaded.

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"
#include "device/driver_abi.h"
#include "driver_observer.h"
#include "drivers/win32/environment.h"
#include "drivers/win32/overlapped_io.h"
#include "recorder_reading.h"

namespace qelto::sim {
namespace {

using namespace std::chrono_literals;

constexpr DWORD kPatienceMs = 20'000;

using namespace testing_support;  // the driver's callback and what it saw

UniqueHandle Connect(const std::string& pipe) {
  return UniqueHandle(CreateFileW(WideFromUtf8(pipe).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
}

// As Connect, waiting while every instance is taken: the driver makes the next listening
// instance only once it has taken the last client.
UniqueHandle ConnectWaiting(const std::string& pipe) {
  for (;;) {
    UniqueHandle handle = Connect(pipe);
    if (handle || GetLastError() != ERROR_PIPE_BUSY) return handle;
    if (!WaitNamedPipeW(WideFromUtf8(pipe).c_str(), kPatienceMs)) return handle;
  }
}

bool PipeExists(const std::string& pipe) {
  const UniqueHandle handle = Connect(pipe);
  return handle || GetLastError() != ERROR_FILE_NOT_FOUND;
}

// Sends `lines` on one connection and returns all the driver answered until it closed the
// connection or gave `replies` answers (lines beginning with OK or ERROR); nullopt when nobody
// serves `pipe`.
std::optional<std::string> Converse(const std::string& pipe, const std::string& lines,
                                    int replies) {
  const UniqueHandle handle = ConnectWaiting(pipe);
  if (!handle) return std::nullopt;
  const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!WriteWithin(handle.get(), lines.data(), static_cast<DWORD>(lines.size()), kPatienceMs,
                   event.get())) {
    return std::string();
  }
  std::string text;
  std::array<char, 512> buffer{};
  while (std::optional<DWORD> received =
             ReadWithin(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()), kPatienceMs,
                        event.get())) {
    text.append(buffer.data(), *received);
    int answered = 0;
    for (const std::string& line : testing_support::SplitLines(text)) {
      if (line.starts_with("OK") || line.starts_with("ERROR")) ++answered;
    }
    if (answered >= replies && text.ends_with('\n')) break;
  }
  return text;
}

struct ToolRun {
  DWORD exit_code = 0xFFFFFFFF;
  std::string output;  // standard output and standard error together, CR LF made LF
};

ToolRun RunTool(const std::string& arguments) {
  std::wstring command =
      L"\"" + WideFromUtf8(QELTO_SIM_TOOL_PATH) + L"\" " + WideFromUtf8(arguments);
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_raw = nullptr;
  HANDLE write_raw = nullptr;
  if (!CreatePipe(&read_raw, &write_raw, &inheritable, 0)) return {};
  const UniqueHandle read_end(read_raw);
  UniqueHandle write_end(write_raw);
  SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end.get();
  startup.hStdError = write_end.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process)) {
    return {};
  }
  const UniqueHandle process_handle(process.hProcess);
  const UniqueHandle thread_handle(process.hThread);
  write_end.reset();
  ToolRun run;
  std::array<char, 512> buffer{};
  DWORD received = 0;
  while (ReadFile(read_end.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &received,
                  nullptr) &&
         received > 0) {
    for (DWORD i = 0; i < received; ++i) {
      if (buffer[i] != '\r') run.output += buffer[i];
    }
  }
  WaitForSingleObject(process_handle.get(), INFINITE);
  GetExitCodeProcess(process_handle.get(), &run.exit_code);
  return run;
}

class WinSimDriverLibrary : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    pipe_ = R"(\\.\pipe\qelto-sim-test-)" + std::to_string(GetCurrentProcessId());
    SetEnvironmentVariableW(L"QELTO_CIDR_SIM_SOCKET", WideFromUtf8(pipe_).c_str());
    SetEnvironmentVariableW(L"QELTO_CIDR_SIM_DEVICES", L"2");
    // Never freed: like the recorder, the process keeps its driver until it ends.
    HMODULE library = LoadLibraryW(WideFromUtf8(QELTO_SIM_DRIVER_PATH).c_str());
    if (library == nullptr) {
      load_error_ = "LoadLibrary failed: " + std::to_string(GetLastError());
      return;
    }
    api.info = reinterpret_cast<CIDR_InfoFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "CIDR_Info")));
    api.register_event = reinterpret_cast<CIDR_RegisterEventFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "CIDR_RegisterEvent")));
  }

  void SetUp() override {
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

  static inline std::string pipe_;
  static inline std::string load_error_;
};

TEST_F(WinSimDriverLibrary, DeliversCommandsAsEventsOnItsOwnThread) {
  const std::string text_before = Narrow(static_cast<const char16_t*>(api.info()));
  EXPECT_EQ(testing_support::VersionWithinFirst30(text_before), "2.1");
  EXPECT_EQ(testing_support::ConnectedDeviceCount(text_before), 2);

  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  EXPECT_EQ(Converse(pipe_, "call 2 0912\nunplug\nplug\n", 3), "OK\nOK\nOK\n");

  // Each event is delivered before its reply is sent, so all have arrived by now.
  const std::vector<SeenEvent> events = observer.Events();
  ASSERT_EQ(events.size(), 4U);
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

  Withdraw();
  EXPECT_FALSE(PipeExists(pipe_));
  EXPECT_EQ(observer.calls_after_withdrawal, 0);
}

TEST_F(WinSimDriverLibrary, NoCallbackRunsOnceWithdrawalHasReturned) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  // Keeps the driver busy delivering calls until its pipe is gone.
  std::thread caller([] {
    while (Converse(pipe_, "call 1 1\ncall 1 2\n", 2).has_value()) {
    }
  });
  EXPECT_TRUE(observer.WaitForEvents(50));
  Withdraw();
  caller.join();
  EXPECT_EQ(observer.calls_after_withdrawal, 0);
}

TEST_F(WinSimDriverLibrary, WithdrawingFromInsideTheCallbackStopsAtOnce) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  // The second line is not served: the driver stopped while handling the first, and closed.
  EXPECT_EQ(Converse(pipe_, "status withdraw-me\ncall 1 5\n", 2), "OK\n");
  EXPECT_EQ(observer.inner_withdraw_result, 0);
  EXPECT_EQ(observer.Events().size(), 2U);

  // Registering again from outside works, and takes the pipe over from the withdrawn thread.
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(3));
  EXPECT_EQ(observer.Events()[2].text, u"SSimulator started: 2 of 2 devices connected");
  EXPECT_NE(Converse(pipe_, "info\n", 1).value_or("").find("Line 2: Connected\nOK\n"),
            std::string::npos);
}

TEST_F(WinSimDriverLibrary, IdleClientsDoNotLockOutTheTool) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  // As many clients as the driver serves at once; one of them stops in the middle of a line.
  std::vector<UniqueHandle> idle;
  for (int i = 0; i < 16; ++i) {
    idle.push_back(ConnectWaiting(pipe_));
    ASSERT_TRUE(idle.back()) << "client " << i << ": " << GetLastError();
  }
  const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_EQ(WriteWithin(idle.back().get(), "call 1 ", 7, kPatienceMs, event.get()), 7U);

  // The tool waits for a free instance (its patience is four times the idle timeout) instead of
  // being turned away.
  const ToolRun call = RunTool("call 3 77");
  ASSERT_EQ(call.exit_code, 0U) << call.output;
  EXPECT_EQ(call.output, "OK\n");

  // Idle clients are closed unanswered, and a half line is not taken for a command.
  for (const UniqueHandle& client : idle) {
    char byte = 0;
    EXPECT_FALSE(ReadWithin(client.get(), &byte, 1, kPatienceMs, event.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));  // not the patience
  }
  const std::vector<SeenEvent> events = observer.Events();
  ASSERT_EQ(events.size(), 2U);
  EXPECT_EQ(events[1].text, u"C77");
  Withdraw();
}

TEST_F(WinSimDriverLibrary, LeavesAPipeOfAnotherProgramAlone) {
  const UniqueHandle other(CreateNamedPipeW(WideFromUtf8(pipe_).c_str(), PIPE_ACCESS_DUPLEX,
                                            PIPE_TYPE_BYTE, 1, 512, 512, 0, nullptr));
  ASSERT_TRUE(other);
  EXPECT_EQ(Register(), -1);
  // The recorder logs status texts, so the start event is how the operator learns of it.
  ASSERT_TRUE(observer.WaitForEvents(1));
  EXPECT_EQ(observer.Events()[0].text,
            u"SSimulator started without control socket (" +
                std::u16string(pipe_.begin(), pipe_.end()) +
                u": in use by another program): 2 of 2 devices connected");
  EXPECT_EQ(observer.Events()[0].connected, 2);
  Withdraw();
}

TEST_F(WinSimDriverLibrary, OnlyTheUserMayUseThePipe) {
  ASSERT_EQ(Register(), 0);
  const UniqueHandle client = Connect(pipe_);
  ASSERT_TRUE(client);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(client.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &raw_descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const std::unique_ptr<void, decltype(&LocalFree)> descriptor(raw_descriptor, &LocalFree);
  ASSERT_NE(dacl, nullptr);
  ASSERT_EQ(dacl->AceCount, 1);
  void* ace = nullptr;
  ASSERT_TRUE(GetAce(dacl, 0, &ace));
  const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
  EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  wchar_t* raw_sid = nullptr;
  ASSERT_TRUE(ConvertSidToStringSidW(const_cast<DWORD*>(&allowed->SidStart), &raw_sid));
  const std::unique_ptr<void, decltype(&LocalFree)> sid(raw_sid, &LocalFree);
  EXPECT_EQ(Utf8FromWide(raw_sid), CurrentUserSid());
  Withdraw();
}

TEST_F(WinSimDriverLibrary, ToolDrivesTheRunningDriver) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));

  struct Case {
    std::string arguments;
    DWORD exit_code;
    std::string output;
    bool whole;  // the whole output, or only a part of it
  };
  const Case cases[] = {
      {"call 3 77", 0, "OK\n", true},
      {"unplug 5", 1, "ERROR no device 5: the simulator has 2\n", true},
      {"ring 1", 2, "qelto-cidr-sim: unknown command", false},
      {"info", 0, "\nVER 2.1\n", false},
      {"info", 0, "Line 2: Connected\nOK\n", false},
  };
  for (const Case& row : cases) {
    const ToolRun run = RunTool(row.arguments);
    EXPECT_EQ(run.exit_code, row.exit_code) << row.arguments << ": " << run.output;
    if (row.whole) {
      EXPECT_EQ(run.output, row.output) << row.arguments;
    } else {
      EXPECT_NE(run.output.find(row.output), std::string::npos)
          << row.arguments << ": " << run.output;
    }
  }
  const std::vector<SeenEvent> events = observer.Events();
  ASSERT_EQ(events.size(), 2U);
  EXPECT_EQ(events[1].code, 3);
  EXPECT_EQ(events[1].text, u"C77");

  Withdraw();
  const ToolRun nobody = RunTool("info");
  EXPECT_EQ(nobody.exit_code, 1U);
  EXPECT_NE(nobody.output.find("no running caller-ID simulator at " + pipe_ +
                               ": is qelto-callerid running?"),
            std::string::npos)
      << nobody.output;
}

}  // namespace
}  // namespace qelto::sim
