#include "recording/win32/win_durable_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "common/win32/wide_text.h"
#include "durable_file_bench.h"
#include "recording/call_journal.h"
#include "support/temp_dir.h"

namespace qelto {

namespace testing_support {

std::unique_ptr<DurableFile> MakeDurableFile(const std::string& path) {
  return std::make_unique<WinDurableFile>(path);
}

}  // namespace testing_support

namespace {

using testing_support::TempDir;

// A reader holding the journal open (the shop's backup, say) does not stop appends. Windows lets
// no file be replaced while another handle is open on it: the replacement fails, harmlessly, and
// works again once the reader is gone.
TEST(WinDurableFile, ReadersOfTheFileStopOnlyItsReplacement) {
  TempDir dir;
  const std::string path = dir.File(kCallJournalFileName);
  WinDurableFile store(path);
  ASSERT_TRUE(store.Append("one\n"));
  const HANDLE reader = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(store.Append("two\n"));
  EXPECT_FALSE(store.Replace("two\n"));
  EXPECT_TRUE(store.Append("three\n"));
  EXPECT_EQ(store.ReadAll(), std::optional<std::string>("one\ntwo\nthree\n"));
  CloseHandle(reader);
  EXPECT_TRUE(store.Replace("three\n"));
  EXPECT_TRUE(store.Append("four\n"));
  EXPECT_EQ(store.ReadAll(), std::optional<std::string>("three\nfour\n"));
}

// Something that is no plain file at the journal's name is neither read nor written through: a
// link to another file, a folder, a device.
TEST(WinDurableFile, RefusesWhatIsNoPlainFile) {
  TempDir dir;
  const std::string elsewhere = dir.File("elsewhere.txt");
  std::ofstream(std::filesystem::path(WideFromUtf8(elsewhere))) << "theirs\n";
  const std::string link = dir.File("link.txt");
  // Some systems refuse an unprivileged link, and Wine reports one made without making it.
  CreateSymbolicLinkW(WideFromUtf8(link).c_str(), WideFromUtf8(elsewhere).c_str(),
                      SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  const DWORD attributes = GetFileAttributesW(WideFromUtf8(link).c_str());
  const bool linked =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const std::string folder = dir.File("folder");
  std::filesystem::create_directory(std::filesystem::path(WideFromUtf8(folder)));
  std::vector<std::string> paths = {folder, "NUL"};
  if (linked) paths.push_back(link);
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    testing_support::ExpectRefused(path);
  }
  std::ifstream written(std::filesystem::path(WideFromUtf8(elsewhere)));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "theirs\n");
  // Reported as skipped, not passed: the link case, the one that could write into another file,
  // did not run (Wine 8 makes no links; Windows makes none without the right or developer mode).
  if (!linked) GTEST_SKIP() << "the symbolic link case did not run: this system made no link";
}

}  // namespace
}  // namespace qelto
