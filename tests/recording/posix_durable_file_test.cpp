#include "recording/posix/posix_durable_file.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "recording/call_journal.h"
#include "support/temp_dir.h"

namespace qelto {
namespace {

using testing_support::TempDir;

TEST(PosixDurableFile, AppendsReadsAndReplaces) {
  TempDir dir;
  PosixDurableFile store(dir.File(kCallJournalFileName));
  EXPECT_EQ(store.ReadAll(), std::optional<std::string>(""));
  ASSERT_TRUE(store.Append("one\n"));
  ASSERT_TRUE(store.Append("two\n"));
  EXPECT_EQ(store.ReadAll(), std::optional<std::string>("one\ntwo\n"));
  ASSERT_TRUE(store.Replace("two\n"));
  ASSERT_TRUE(store.Append("three\n"));
  EXPECT_EQ(store.ReadAll(), std::optional<std::string>("two\nthree\n"));
}

TEST(PosixDurableFile, UnsyncedAppendsAreInTheFileAtOnce) {
  TempDir dir;
  PosixDurableFile store(dir.File(kCallJournalFileName));
  ASSERT_TRUE(store.AppendUnsynced("W 1\n"));
  EXPECT_EQ(PosixDurableFile(dir.File(kCallJournalFileName)).ReadAll(),
            std::optional<std::string>("W 1\n"))
      << "another reader, as the next run after a kill, sees it before any flush";
  EXPECT_TRUE(store.Sync());
}

TEST(PosixDurableFile, UnwritableFolderFailsWithoutHarm) {
  PosixDurableFile store("/proc/version/calls-journal.txt");  // a file where a folder should be
  EXPECT_FALSE(store.Append("x\n"));
  EXPECT_FALSE(store.Replace("x\n"));
}

// Someone deletes or replaces the journal, or its whole folder, while the recorder runs.
TEST(PosixDurableFile, NoticesADeletedOrReplacedFileAndMakesItAgain) {
  TempDir dir;
  const std::filesystem::path folder = dir.File("work");
  std::filesystem::create_directory(folder);
  PosixDurableFile store((folder / kCallJournalFileName).string());
  EXPECT_TRUE(store.Intact()) << "nothing written yet";
  ASSERT_TRUE(store.Append("a\n"));
  EXPECT_TRUE(store.Intact());

  std::filesystem::rename(folder / kCallJournalFileName, folder / "moved.txt");
  EXPECT_FALSE(store.Intact()) << "renamed away";
  std::ofstream(folder / kCallJournalFileName) << "someone else's\n";
  EXPECT_FALSE(store.Intact()) << "replaced by another file";

  std::filesystem::remove_all(folder);
  EXPECT_FALSE(store.Intact()) << "folder deleted";
  ASSERT_TRUE(store.Replace("b\n")) << "the folder is made again";
  EXPECT_TRUE(store.Intact());
  ASSERT_TRUE(store.Append("c\n"));
  EXPECT_EQ(store.ReadAll(), "b\nc\n");
}

// The journal's promise: a call recorded before the process is killed is found by the next run.
TEST(PosixDurableFile, RecordedCallsSurviveKill9) {
  TempDir dir;
  const std::string path = dir.File(kCallJournalFileName);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    PosixDurableFile store(path), damaged(dir.File(kDamagedJournalFileName));
    CallJournal journal(store, damaged);
    journal.Recover();
    for (int i = 1; i <= 50; ++i) {
      QueuedCall call;
      call.moment = {2026, 12, 8, 23, 5, i % 60};
      call.line = "1," + std::to_string(i);
      std::string problem;
      journal.Record(call, problem);
      if (i % 2 == 0) journal.Strike(call.id);
    }
    (void)!write(ready[1], "x", 1);
    pause();  // killed here, with the journal file still open
  }
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);

  PosixDurableFile store(path), damaged(dir.File(kDamagedJournalFileName));
  CallJournal journal(store, damaged);
  const auto recovery = journal.Recover();
  ASSERT_EQ(recovery.pending.size(), 25u);
  EXPECT_EQ(recovery.pending.front().line, "1,1");
  EXPECT_EQ(recovery.pending.back().line, "1,49");
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
}  // namespace qelto
