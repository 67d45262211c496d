// The simulated driver's bench on Windows (sim_driver_bench.h): the built POS_CIDR.dll loaded
// with LoadLibrary, its named pipe, qelto-cidr-sim.exe run with CreateProcess; and what only
// Windows has, a pipe's owner and its access list.
//
// The driver reads its pipe name and device count from the environment, and it is one per
// process; this executable therefore holds these tests only, and the bench sets the variables
// once, before the library is loaded.

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"
#include "device/driver_abi.h"
#include "driver_observer.h"
#include "drivers/win32/environment.h"
#include "drivers/win32/overlapped_io.h"
#include "recorder_reading.h"
#include "sim_driver_bench.h"

namespace qelto::cidr::testing_support {
namespace {

constexpr DWORD kPatienceMs = 20'000;

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

class WinSimDriverBench final : public SimDriverBench {
 public:
  WinSimDriverBench()
      : pipe_(R"(\\.\pipe\qelto-sim-test-)" + std::to_string(GetCurrentProcessId())) {
    SetEnvironmentVariableW(L"QELTO_CIDR_SIM_SOCKET", WideFromUtf8(pipe_).c_str());
    SetEnvironmentVariableW(L"QELTO_CIDR_SIM_DEVICES", L"2");
    problem_ = LoadDriver(QELTO_SIM_DRIVER_PATH);
  }

  const std::string& problem() const override { return problem_; }
  const std::string& channel() const override { return pipe_; }

  std::optional<std::string> Converse(const std::string& lines, int replies) override {
    const UniqueHandle handle = ConnectWaiting(pipe_);
    if (!handle) return std::nullopt;
    const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!WriteWithin(handle.get(), lines.data(), static_cast<DWORD>(lines.size()), kPatienceMs,
                     event.get())) {
      return std::string();
    }
    std::string text;
    std::array<char, 512> buffer{};
    while (std::optional<DWORD> received =
               ReadWithin(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                          kPatienceMs, event.get())) {
      text.append(buffer.data(), *received);
      int answered = 0;
      for (const std::string& line : SplitLines(text)) {
        if (line.starts_with("OK") || line.starts_with("ERROR")) ++answered;
      }
      if (answered >= replies && text.ends_with('\n')) break;
    }
    return text;
  }

  bool ChannelGone() override {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (PipeExists(pipe_)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      Sleep(10);
    }
    return true;
  }

  ToolRun RunTool(const std::vector<std::string>& arguments) override {
    std::wstring command = L"\"" + WideFromUtf8(QELTO_SIM_TOOL_PATH) + L"\"";
    for (const std::string& argument : arguments) command += L" " + WideFromUtf8(argument);
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
    DWORD exit_code = 0;
    GetExitCodeProcess(process_handle.get(), &exit_code);
    run.exit_code = static_cast<int>(exit_code);
    return run;
  }

  std::string HoldIdleClients(int count, std::string_view partial) override {
    idle_.clear();
    for (int i = 0; i < count; ++i) {
      idle_.push_back(ConnectWaiting(pipe_));
      if (!idle_.back())
        return "client " + std::to_string(i) + ": " + std::to_string(GetLastError());
    }
    const auto size = static_cast<DWORD>(partial.size());
    return WriteWithin(idle_.back().get(), partial.data(), size, kPatienceMs, event_.get()) == size
               ? ""
               : "the part of a line was not sent";
  }

  int IdleClientsClosed() override {
    int closed = 0;
    for (const UniqueHandle& client : idle_) {
      char byte = 0;
      const bool read = ReadWithin(client.get(), &byte, 1, kPatienceMs, event_.get()).has_value();
      closed += !read && GetLastError() == ERROR_BROKEN_PIPE ? 1 : 0;  // not the patience
    }
    idle_.clear();
    return closed;
  }

 private:
  std::string problem_;
  std::string pipe_;
  std::vector<UniqueHandle> idle_;
  UniqueHandle event_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

}  // namespace

SimDriverBench& Bench() {
  static WinSimDriverBench bench;
  return bench;
}

namespace {

TEST_F(SimDriverLibrary, LeavesAPipeOfAnotherProgramAlone) {
  const UniqueHandle other(CreateNamedPipeW(WideFromUtf8(Bench().channel()).c_str(),
                                            PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 512, 512, 0,
                                            nullptr));
  ASSERT_TRUE(other);
  EXPECT_EQ(Register(), -1);
  // The recorder logs status texts, so the start event is how the operator learns of it.
  ASSERT_TRUE(observer.WaitForEvents(1));
  EXPECT_EQ(observer.Events()[0].text,
            u"SSimulator started without control socket (" + Widen(Bench().channel()) +
                u": in use by another program): 2 of 2 devices connected");
  EXPECT_EQ(observer.Events()[0].connected, 2);
  Withdraw();
}

TEST_F(SimDriverLibrary, OnlyTheUserMayUseThePipe) {
  ASSERT_EQ(Register(), 0);
  const UniqueHandle client = Connect(Bench().channel());
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

}  // namespace
}  // namespace qelto::cidr::testing_support
