// The platform's durable file (durable_file_bench.h): the same cases and the same checks on Linux
// and on Windows.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "durable_file_bench.h"
#include "recording/call_journal.h"
#include "support/temp_dir.h"

namespace qelto {
namespace {

using testing_support::FsPath;
using testing_support::MakeDurableFile;
using testing_support::TempDir;

TEST(DurableFile, AppendsReadsAndReplaces) {
  TempDir dir;
  const auto store = MakeDurableFile(dir.File(kCallJournalFileName));
  EXPECT_EQ(store->ReadAll(), std::optional<std::string>(""));
  ASSERT_TRUE(store->Append("one\n"));
  ASSERT_TRUE(store->Append("two\n"));
  EXPECT_EQ(store->ReadAll(), std::optional<std::string>("one\ntwo\n"));
  ASSERT_TRUE(store->Replace("two\n"));
  ASSERT_TRUE(store->Append("three\n"));
  EXPECT_EQ(store->ReadAll(), std::optional<std::string>("two\nthree\n"));
}

TEST(DurableFile, UnsyncedAppendsAreInTheFileAtOnce) {
  TempDir dir;
  const auto store = MakeDurableFile(dir.File(kCallJournalFileName));
  ASSERT_TRUE(store->AppendUnsynced("W 1\n"));
  EXPECT_EQ(MakeDurableFile(dir.File(kCallJournalFileName))->ReadAll(),
            std::optional<std::string>("W 1\n"))
      << "another reader, as the next run after a kill, sees it before any flush";
  EXPECT_TRUE(store->Sync());
}

TEST(DurableFile, PersianPathsWork) {
  TempDir dir;
  const auto store = MakeDurableFile(
      dir.File("\u062A\u0645\u0627\u0633\u200C\u0647\u0627.txt"));  // "تماس‌ها"
  ASSERT_TRUE(store->Append("one\n"));
  EXPECT_EQ(store->ReadAll(), std::optional<std::string>("one\n"));
}

TEST(DurableFile, UnwritableFolderFailsWithoutHarm) {
  TempDir dir;
  std::ofstream(FsPath(dir.File("plain"))) << "a file where a folder should be";
  const auto store = MakeDurableFile(dir.File("plain") + "/calls-journal.txt");
  EXPECT_FALSE(store->Append("x\n"));
  EXPECT_FALSE(store->AppendUnsynced("x\n"));
  EXPECT_FALSE(store->Replace("x\n"));
}

// Someone renames or replaces the journal while the recorder runs.
TEST(DurableFile, NoticesARenamedOrReplacedFile) {
  TempDir dir;
  const std::filesystem::path folder = FsPath(dir.File("work"));
  std::filesystem::create_directory(folder);
  const auto store = MakeDurableFile(dir.File("work") + "/" + kCallJournalFileName);
  EXPECT_TRUE(store->Intact()) << "nothing written yet";
  ASSERT_TRUE(store->Append("a\n"));
  EXPECT_TRUE(store->Intact());

  std::filesystem::rename(folder / kCallJournalFileName, folder / "moved.txt");
  EXPECT_FALSE(store->Intact()) << "renamed away";
  std::ofstream(folder / kCallJournalFileName) << "someone else's\n";
  EXPECT_FALSE(store->Intact()) << "replaced by another file";
  ASSERT_TRUE(store->Replace("b\n"));
  EXPECT_TRUE(store->Intact());
  ASSERT_TRUE(store->Append("c\n"));
  EXPECT_EQ(store->ReadAll(), "b\nc\n");
}

TEST(DurableFile, ReplacementMakesADeletedFolderAgain) {
  TempDir dir;
  const std::string folder = dir.File("work");
  std::filesystem::create_directory(FsPath(folder));
  const auto store = MakeDurableFile(folder + "/" + kCallJournalFileName);
  std::filesystem::remove_all(FsPath(folder));
  ASSERT_TRUE(store->Replace("b\n"));
  ASSERT_TRUE(store->Append("c\n"));
  EXPECT_EQ(store->ReadAll(), "b\nc\n");
}

}  // namespace
}  // namespace qelto
