#include "recording/win32/win_durable_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

#include "common/win32/wide_text.h"
#include "recording/call_journal.h"
#include "support/temp_dir.h"

namespace qelto {
namespace {

using testing_support::TempDir;

TEST(WinDurableFile, AppendsReadsAndReplaces) {
  TempDir dir;
  WinDurableFile store(dir.File(kCallJournalFileName));
  EXPECT_EQ(store.ReadAll(), std::optional<std::string>(""));
  ASSERT_TRUE(store.Append("one\n"));
  ASSERT_TRUE(store.Append("two\n"));
  EXPECT_EQ(store.ReadAll(), std::optional<std::string>("one\ntwo\n"));
  ASSERT_TRUE(store.Replace("two\n"));
  ASSERT_TRUE(store.Append("three\n"));
  EXPECT_EQ(store.ReadAll(), std::optional<std::string>("two\nthree\n"));
}

TEST(WinDurableFile, UnsyncedAppendsAreInTheFileAtOnce) {
  TempDir dir;
  WinDurableFile store(dir.File(kCallJournalFileName));
  ASSERT_TRUE(store.AppendUnsynced("W 1\n"));
  EXPECT_EQ(WinDurableFile(dir.File(kCallJournalFileName)).ReadAll(),
            std::optional<std::string>("W 1\n"))
      << "another reader, as the next run after a kill, sees it before any flush";
  EXPECT_TRUE(store.Sync());
}

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

// Someone renames or replaces the journal while the recorder runs.
TEST(WinDurableFile, NoticesARenamedOrReplacedFile) {
  TempDir dir;
  const std::filesystem::path folder = WideFromUtf8(dir.File("work"));
  std::filesystem::create_directory(folder);
  WinDurableFile store(Utf8FromWide((folder / kCallJournalFileName).wstring()));
  EXPECT_TRUE(store.Intact()) << "nothing written yet";
  ASSERT_TRUE(store.Append("a\n"));
  EXPECT_TRUE(store.Intact());

  std::filesystem::rename(folder / kCallJournalFileName, folder / "moved.txt");
  EXPECT_FALSE(store.Intact()) << "renamed away";
  std::ofstream(folder / kCallJournalFileName) << "someone else's\n";
  EXPECT_FALSE(store.Intact()) << "replaced by another file";
  ASSERT_TRUE(store.Replace("b\n"));
  EXPECT_TRUE(store.Intact());
  ASSERT_TRUE(store.Append("c\n"));
  EXPECT_EQ(store.ReadAll(), "b\nc\n");
}

TEST(WinDurableFile, ReplacementMakesADeletedFolderAgain) {
  TempDir dir;
  const std::string folder = dir.File("work");
  std::filesystem::create_directory(folder);
  WinDurableFile store(folder + "\\" + kCallJournalFileName);
  std::filesystem::remove_all(folder);
  ASSERT_TRUE(store.Replace("b\n"));
  ASSERT_TRUE(store.Append("c\n"));
  EXPECT_EQ(store.ReadAll(), "b\nc\n");
}

TEST(WinDurableFile, PersianPathsWork) {
  TempDir dir;
  WinDurableFile store(
      dir.File("\u062A\u0645\u0627\u0633\u200C\u0647\u0627.txt"));  // "تماس‌ها"
  ASSERT_TRUE(store.Append("one\n"));
  EXPECT_EQ(store.ReadAll(), std::optional<std::string>("one\n"));
}

TEST(WinDurableFile, UnwritableFolderFailsWithoutHarm) {
  TempDir dir;
  std::ofstream(std::filesystem::path(WideFromUtf8(dir.File("plain"))))
      << "a file where a folder should be";
  WinDurableFile store(dir.File("plain") + "\\calls-journal.txt");
  EXPECT_FALSE(store.Append("x\n"));
  EXPECT_FALSE(store.AppendUnsynced("x\n"));
  EXPECT_FALSE(store.Replace("x\n"));
}

}  // namespace
}  // namespace qelto
