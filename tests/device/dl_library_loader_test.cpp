#include "device/posix/dl_library_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/driver_binding.h"
#include "device/driver_info.h"

namespace qelto {
namespace {

// The test driver libraries, one folder per variant, each holding a libPOS_CIDR.so.
std::string VariantFolder(const char* variant) {
  return std::string(QELTO_TEST_DRIVER_DIR) + "/" + variant;
}

struct Loaded {
  DlLibraryLoader loader;
  DriverBinding driver;
  explicit Loaded(const char* variant) : loader({VariantFolder(variant)}) { driver.Load(loader); }
};

TEST(DriverSearchFolders, OwnFolderThenTheLoadersPathThenThePrivateFolder) {
  struct Case {
    const char* exeDir;
    const char* ldLibraryPath;
    const char* privateDir;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"/usr/bin", nullptr, "/usr/lib/qelto-callerid", {"/usr/bin", "/usr/lib/qelto-callerid"}},
      {"/usr/bin", "", "/usr/lib/qelto-callerid", {"/usr/bin", "/usr/lib/qelto-callerid"}},
      {"/usr/bin",
       "/opt/vendor/lib:/opt/b;/opt/c",
       "/usr/lib/qelto-callerid",
       {"/usr/bin", "/opt/vendor/lib", "/opt/b", "/opt/c", "/usr/lib/qelto-callerid"}},
      // Empty entries would mean the current folder: never searched on purpose.
      {"/usr/bin", ":/opt/a::", "/p", {"/usr/bin", "/opt/a", "/p"}},
      {"", nullptr, "", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DriverSearchFolders(c.exeDir, c.ldLibraryPath, c.privateDir), c.expected)
        << "LD_LIBRARY_PATH=" << (c.ldLibraryPath != nullptr ? c.ldLibraryPath : "(unset)");
  }
}

// First, before any test driver is loaded into this process under the same name.
TEST(DlLibraryLoader, NoLibraryAnywhereIsReportedWithTheLoadersReason) {
  DlLibraryLoader loader({"/nonexistent-folder", "/nonexistent-too"});
  if (auto found = loader.Load()) GTEST_SKIP() << "a libPOS_CIDR.so is installed on this system";
  EXPECT_NE(loader.LastError().find("/nonexistent-too/libPOS_CIDR.so"), std::string::npos)
      << "every folder tried is named: " << loader.LastError();
}

TEST(DlLibraryLoader, TheFirstFolderHoldingADriverWins) {
  DlLibraryLoader loader({"/nonexistent-folder", VariantFolder("v1_9"), VariantFolder("v2_1")});
  DriverBinding driver;
  driver.Load(loader);
  ASSERT_TRUE(driver.DriverReady()) << loader.LastError();
  EXPECT_EQ(DriverVersion(driver), "+1.9");
  EXPECT_EQ(loader.LastError(), "");
}

TEST(DlLibraryLoader, BindsARealDriverFromThePreferredFolder) {
  Loaded current("v2_1");
  ASSERT_TRUE(current.driver.DriverReady()) << current.loader.LastError();
  EXPECT_EQ(DriverVersion(current.driver), "+2.1");
  EXPECT_EQ(ConnectedDeviceCount(current.driver), 1);
  EXPECT_TRUE(CheckDriverVersion(current.driver, kRequiredDriverVersion));
}

TEST(DlLibraryLoader, VersionsAreCheckedAsTheyAreRead) {
  Loaded old("v1_9"), ten("v10_0"), eightBit("ansi_v1_5"), foreign("not_pos");
  EXPECT_FALSE(CheckDriverVersion(old.driver, kRequiredDriverVersion));
  EXPECT_TRUE(CheckDriverVersion(ten.driver, kRequiredDriverVersion));
  EXPECT_EQ(DriverVersion(eightBit.driver), "-1.5");
  EXPECT_EQ(ConnectedDeviceCount(eightBit.driver), 1) << "counted from the 8-bit reading";
  EXPECT_FALSE(CheckDriverVersion(foreign.driver, kRequiredDriverVersion));
}

TEST(DlLibraryLoader, MissingEntryPointLeavesTheDriverNotReady) {
  Loaded partial("missing_playline");
  EXPECT_FALSE(partial.driver.DriverReady());
  EXPECT_EQ(partial.driver.Info(), nullptr);
}

}  // namespace
}  // namespace qelto
