#include "recording/win32/win_durable_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <vector>

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
  struct Case {
    const char* name;
    std::string path;
  };
  std::vector<Case> cases = {{"folder", folder}, {"device", "NUL"}};
  if (linked) cases.push_back({"symbolic link elsewhere", link});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WinDurableFile store(c.path);
    EXPECT_EQ(store.ReadAll(), std::nullopt);
    EXPECT_FALSE(store.Append("C 1 2026-12-08 23:05:01 1,5550001\n"));
    EXPECT_FALSE(store.AppendUnsynced("W 1\n"));
  }
  std::ifstream written(std::filesystem::path(WideFromUtf8(elsewhere)));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "theirs\n");
  // Reported as skipped, not passed: the link case, the one that could write into another file,
  // did not run (Wine 8 makes no links; Windows makes none without the right or developer mode).
  if (!linked) GTEST_SKIP() << "the symbolic link case did not run: this system made no link";
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
