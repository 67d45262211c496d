// The platform's durable file (durable_file_bench.h): the same cases and the same checks on Linux
// and on Windows.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "durable_file_bench.h"
#include "recording/call_journal.h"

namespace qelto {
namespace {

using testing_support::FsPath;
using testing_support::MakeDurableFile;
using testing_support::TempDir;

std::string ContentOf(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

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

// Something that is no plain file at the journal's name is neither read nor written through: a
// link to another file, a folder, a device (and on Linux a FIFO, which would block an open for
// ever).
TEST(DurableFile, RefusesWhatIsNoPlainFile) {
  TempDir dir;
  const std::string elsewhere = dir.File("elsewhere.txt");
  std::ofstream(FsPath(elsewhere), std::ios::binary) << "theirs\n";
  const testing_support::NotPlainFiles entries = MakeNotPlainFiles(dir, elsewhere);
  ASSERT_GE(entries.cases.size(), 2U);
  for (const testing_support::NotAPlainFile& c : entries.cases) {
    SCOPED_TRACE(c.name);
    const auto store = MakeDurableFile(c.path);
    EXPECT_EQ(store->ReadAll(), std::nullopt);
    EXPECT_FALSE(store->Append("C 1 2026-12-08 23:05:01 1,5550001\n"));
    EXPECT_FALSE(store->AppendUnsynced("W 1\n"));
  }
  EXPECT_EQ(ContentOf(elsewhere), "theirs\n");
  // Reported as skipped, not passed: a case that could write into another file did not run.
  if (!entries.left_out.empty()) GTEST_SKIP() << entries.left_out;
}

}  // namespace
}  // namespace qelto
