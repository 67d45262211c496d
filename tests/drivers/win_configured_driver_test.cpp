// Our POS_CIDR.dll with a POS_CIDR.conf beside it that lists a caller-ID modem on a COM port that
// is not there and a simulated device: the modem is named unavailable, the simulated device
// works, and the raw data file is made beside the configuration. Its own executable, because the
// driver reads its configuration once per process.

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "common/win32/wide_text.h"
#include "device/driver_abi.h"
#include "drivers/control/control_client.h"
#include "recorder_reading.h"

namespace qelto::cidr {
namespace {

struct Events {
  std::mutex mutex;
  std::vector<std::pair<std::int32_t, std::u16string>> seen;
};

Events events;

void CIDR_CALL OnEvent(std::int32_t code, const char16_t* text) {
  std::lock_guard lock(events.mutex);
  events.seen.emplace_back(code, text != nullptr ? text : u"");
}

std::string Narrow(const void* text) {
  std::string narrow;
  for (const auto* unit = static_cast<const char16_t*>(text); unit != nullptr && *unit != u'\0';
       ++unit) {
    narrow += static_cast<char>(*unit);
  }
  return narrow;
}

TEST(WinConfiguredDriver, RunsTheSimulatedDeviceBesideAModemThatIsNotThere) {
  // A folder of the test's own, holding a copy of the driver and its configuration.
  const std::string folder = QELTO_CONFIGURED_DRIVER_DIR;
  CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(WideFromUtf8(QELTO_SIM_DRIVER_PATH).c_str(),
                        WideFromUtf8(folder + "/POS_CIDR.dll").c_str(), FALSE));
  {
    std::ofstream config(folder + "/POS_CIDR.conf", std::ios::binary);
    config << "raw_log = modem-raw.txt\r\n[device]\r\nkind = modem\r\nport = COM199\r\nline = 1\r\n"
              "[device]\r\nkind = sim\r\nline = 4\r\n";
  }
  const std::string pipe =
      R"(\\.\pipe\qelto-configured-test-)" + std::to_string(GetCurrentProcessId());
  SetEnvironmentVariableW(L"QELTO_CIDR_SIM_SOCKET", WideFromUtf8(pipe).c_str());

  // Never freed: like the recorder, the process keeps its driver until it ends.
  HMODULE library = LoadLibraryW(WideFromUtf8(folder + "/POS_CIDR.dll").c_str());
  ASSERT_NE(library, nullptr) << GetLastError();
  const auto info = reinterpret_cast<CIDR_InfoFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "CIDR_Info")));
  const auto register_event = reinterpret_cast<CIDR_RegisterEventFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "CIDR_RegisterEvent")));
  ASSERT_NE(info, nullptr);
  ASSERT_NE(register_event, nullptr);
  wchar_t library_path[MAX_PATH] = {};
  ASSERT_NE(GetModuleFileNameW(library, library_path, MAX_PATH), 0U);
  std::wstring config_path(library_path);
  config_path.replace(config_path.find_last_of(L"\\/") + 1, std::wstring::npos, L"POS_CIDR.conf");

  const std::vector<std::string> lines = testing_support::SplitLines(Narrow(info()));
  ASSERT_EQ(lines.size(), 6U);
  EXPECT_EQ(lines[4], "Line 1 modem COM199: Disconnected");
  EXPECT_EQ(lines[5], "Line 4 sim 1: Connected");

  ASSERT_EQ(register_event(OnEvent, kRegisterEventValue), 0);
  const ControlReply reply = SendControlCommand(pipe, "call 4 0912");
  EXPECT_EQ(reply.status, ControlReply::Status::kOk) << reply.problem;
  EXPECT_EQ(SendControlCommand(pipe, "unplug").status, ControlReply::Status::kOk);
  EXPECT_EQ(register_event(nullptr, 0), 0);

  std::lock_guard lock(events.mutex);
  ASSERT_GE(events.seen.size(), 3U);
  const std::wstring start = L"SDriver started with " + config_path + L": 1 of 2 devices connected";
  EXPECT_EQ(events.seen[0], std::make_pair(0, std::u16string(start.begin(), start.end())));
  // The modem's thread reports beside the commands, in whatever order.
  std::vector<std::pair<std::int32_t, std::u16string>> others;
  for (std::size_t i = 1; i < events.seen.size(); ++i) {
    if (!events.seen[i].second.starts_with(u"SLine 1: modem unavailable at COM199 (")) {
      others.push_back(events.seen[i]);
    }
  }
  EXPECT_EQ(others, (std::vector<std::pair<std::int32_t, std::u16string>>{
                        {4, u"C0912"}, {0, u"SDevice 1 disconnected"}}));
  EXPECT_NE(GetFileAttributesW(WideFromUtf8(folder + "/modem-raw.txt").c_str()),
            INVALID_FILE_ATTRIBUTES)
      << "no raw data file beside the configuration";
}

}  // namespace
}  // namespace qelto::cidr
