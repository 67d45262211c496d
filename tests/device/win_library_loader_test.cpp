#include "device/win32/win_library_loader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "common/win32/wide_text.h"
#include "library_loader_bench.h"
#include "support/temp_dir.h"

namespace qelto {

std::unique_ptr<LibraryLoader> testing_support::MakeLoader(const std::string& folder) {
  return std::make_unique<WinLibraryLoader>(folder);
}

std::string testing_support::LastErrorOf(const LibraryLoader& loader) {
  return static_cast<const WinLibraryLoader&>(loader).LastError();
}

namespace {

using testing_support::ScopedWorkingFolder;
using testing_support::TempDir;
using testing_support::VariantFolder;

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

}  // namespace
}  // namespace qelto
