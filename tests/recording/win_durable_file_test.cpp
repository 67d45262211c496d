#include "recording/win32/win_durable_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>

#include "common/win32/wide_text.h"
#include "durable_file_bench.h"
#include "recording/call_journal.h"
#include "support/temp_dir.h"

namespace qelto {

namespace testing_support {

std::unique_ptr<DurableFile> MakeDurableFile(const std::string& path) {
  return std::make_unique<WinDurableFile>(path);
}

// A link is made where the system lets us: some refuse an unprivileged one, and Wine reports one
// made without making it (Wine 8 makes none; Windows none without the right or developer mode).
NotPlainFiles MakeNotPlainFiles(const TempDir& dir, const std::string& elsewhere) {
  const std::string folder = dir.File("folder");
  std::filesystem::create_directory(FsPath(folder));
  NotPlainFiles entries{{{"folder", folder}, {"device", "NUL"}}, ""};
  const std::string link = dir.File("link.txt");
  CreateSymbolicLinkW(WideFromUtf8(link).c_str(), WideFromUtf8(elsewhere).c_str(),
                      SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  const DWORD attributes = GetFileAttributesW(WideFromUtf8(link).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    entries.cases.push_back({"symbolic link elsewhere", link});
  } else {
    entries.left_out = "the symbolic link case did not run: this system made no link";
  }
  return entries;
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

}  // namespace
}  // namespace qelto
