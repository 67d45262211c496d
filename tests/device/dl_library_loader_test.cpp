#include "device/posix/dl_library_loader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/driver_binding.h"
#include "device/driver_info.h"
#include "library_loader_bench.h"

namespace qelto {

std::unique_ptr<LibraryLoader> testing_support::MakeLoader(const std::string& folder) {
  return std::make_unique<DlLibraryLoader>(std::vector<std::string>{folder});
}

std::string testing_support::LastErrorOf(const LibraryLoader& loader) {
  return static_cast<const DlLibraryLoader&>(loader).LastError();
}

namespace {

using testing_support::VariantFolder;

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

}  // namespace
}  // namespace qelto
