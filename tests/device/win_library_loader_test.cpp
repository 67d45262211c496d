#include "device/win32/win_library_loader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/win32/wide_text.h"
#include "device/driver_binding.h"
#include "device/driver_info.h"
#include "support/temp_dir.h"

namespace qelto {
namespace {

using testing_support::ScopedWorkingFolder;
using testing_support::TempDir;

// The test driver DLLs, one folder per variant, each holding a POS_CIDR.dll.
std::string VariantFolder(const char* variant) {
  return std::string(QELTO_TEST_DRIVER_DIR) + "/" + variant;
}

struct Loaded {
  WinLibraryLoader loader;
  DriverBinding driver;
  explicit Loaded(const char* variant) : loader(VariantFolder(variant)) { driver.Load(loader); }
};

// The test driver's own entry point that calls the registered callback, as a driver's thread does.
using DeliverFunction = std::int32_t(CIDR_CALL*)(std::int32_t code, const char16_t* text);

// Loading the same file again hands out the module already loaded, with its registration.
DeliverFunction Deliverer(WinLibraryLoader& loader) {
  const auto library = loader.Load();
  return library ? reinterpret_cast<DeliverFunction>(library->Symbol("TestDriver_Deliver"))
                 : nullptr;
}

std::u16string Tagged(std::int32_t code, const std::u16string& text) {
  const std::string digits = std::to_string(code);
  return std::u16string(digits.begin(), digits.end()) + u":" + text;
}

// First, before any test driver is loaded into this process under the same name. A driver
// only in the working folder or on the PATH is never loaded: anyone may write the shop's working
// folder.
TEST(WinLibraryLoader, OnlyTheGivenFolderAndTheSystemFolderAreSearched) {
  wchar_t systemFolder[MAX_PATH];
  ASSERT_NE(GetSystemDirectoryW(systemFolder, MAX_PATH), 0u);
  const std::string system = Utf8FromWide(systemFolder) + "\\POS_CIDR.dll";
  if (std::filesystem::exists(std::filesystem::path(WideFromUtf8(system)))) {
    GTEST_SKIP() << "a POS_CIDR.dll is in this system's own folder";
  }
  TempDir planted;
  std::filesystem::copy_file(VariantFolder("v2_1") + "/POS_CIDR.dll", planted.File("POS_CIDR.dll"));
  ScopedWorkingFolder inPlanted(planted.path());
  const std::wstring oldPath = _wgetenv(L"PATH") ? _wgetenv(L"PATH") : L"";
  SetEnvironmentVariableW(L"PATH", (planted.path().wstring() + L";" + oldPath).c_str());

  WinLibraryLoader loader("C:\\nonexistent-folder");
  const bool loaded = loader.Load() != nullptr;
  SetEnvironmentVariableW(L"PATH", oldPath.c_str());
  ASSERT_FALSE(loaded) << "loaded from the working folder or the PATH";
  EXPECT_NE(loader.LastError().find("C:\\nonexistent-folder\\POS_CIDR.dll"), std::string::npos)
      << "the given folder is tried first: " << loader.LastError();
  EXPECT_NE(loader.LastError().find(system), std::string::npos)
      << "then the system folder: " << loader.LastError();
  EXPECT_EQ(loader.LastError().find(".;"), std::string::npos) << loader.LastError();
  EXPECT_NE(loader.LastError().back(), '.') << loader.LastError();
}

TEST(WinLibraryLoader, BindsAStdcallDriverFromThePreferredFolder) {
  Loaded current("v2_1");
  ASSERT_TRUE(current.driver.DriverReady()) << current.loader.LastError();
  EXPECT_EQ(DriverVersion(current.driver), "+2.1");
  EXPECT_EQ(ConnectedDeviceCount(current.driver), 1);
  EXPECT_TRUE(CheckDriverVersion(current.driver, kRequiredDriverVersion));
}

TEST(WinLibraryLoader, VersionsAreCheckedAsTheyAreRead) {
  Loaded old("v1_9"), two("v2_0"), ten("v10_0"), eightBit("ansi_v1_5"), foreign("not_pos");
  EXPECT_FALSE(CheckDriverVersion(old.driver, kRequiredDriverVersion));
  EXPECT_TRUE(CheckDriverVersion(two.driver, kRequiredDriverVersion));
  EXPECT_TRUE(CheckDriverVersion(ten.driver, kRequiredDriverVersion));
  EXPECT_EQ(DriverVersion(ten.driver), "+10.0");
  EXPECT_EQ(DriverVersion(eightBit.driver), "-1.5");
  EXPECT_EQ(ConnectedDeviceCount(eightBit.driver), 1) << "counted from the 8-bit reading";
  EXPECT_FALSE(CheckDriverVersion(foreign.driver, kRequiredDriverVersion));
}

TEST(WinLibraryLoader, MissingEntryPointLeavesTheDriverNotReady) {
  Loaded partial("missing_playline");
  EXPECT_FALSE(partial.driver.DriverReady());
  EXPECT_EQ(partial.driver.Info(), nullptr);
}

// The callback crosses the driver interface in the driver's calling convention (stdcall on 32-bit
// Windows): a mismatch would unbalance the driver's stack at the first event. Events come from
// the driver's own threads, and a failure in the handler must not unwind into the driver.
TEST(WinLibraryLoader, EventsFromTheDriversThreadsReachTheHandler) {
  Loaded current("v2_1");
  ASSERT_TRUE(current.driver.DriverReady()) << current.loader.LastError();
  std::vector<std::u16string> texts;
  std::mutex lock;
  current.driver.RegisterCallerEvent(kRegisterEventValue,
                                     [&](std::int32_t code, const std::u16string& text) {
                                       std::lock_guard guard(lock);
                                       texts.push_back(Tagged(code, text));
                                       if (code == 9) throw std::runtime_error("handler failed");
                                     });
  const DeliverFunction deliver = Deliverer(current.loader);
  ASSERT_NE(deliver, nullptr);
  EXPECT_EQ(deliver(0, u"S1"), 1);
  std::thread driverThread([&] {
    deliver(2, u"C09121234567");
    deliver(9, u"C1");
    deliver(3, nullptr);
  });
  driverThread.join();
  current.driver.WithdrawCallerEvent();
  EXPECT_EQ(deliver(4, u"C5"), 0) << "the driver was told the callback is gone";
  const std::vector<std::u16string> expected = {u"0:S1", u"2:C09121234567", u"9:C1", u"3:"};
  EXPECT_EQ(texts, expected);
}

}  // namespace
}  // namespace qelto
