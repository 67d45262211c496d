#include "recording/posix/posix_durable_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include "durable_file_bench.h"
#include "recording/call_journal.h"
#include "recording/posix/regular_file.h"
#include "support/temp_dir.h"

namespace qelto {

namespace testing_support {

std::unique_ptr<DurableFile> MakeDurableFile(const std::string& path) {
  return std::make_unique<PosixDurableFile>(path);
}

}  // namespace testing_support

namespace {

using testing_support::TempDir;

TEST(PosixDurableFile, DeletedFolderOfTheOpenFileIsNoticedAndMadeAgain) {
  TempDir dir;
  const std::filesystem::path folder = dir.File("work");
  std::filesystem::create_directory(folder);
  PosixDurableFile store((folder / kCallJournalFileName).string());
  ASSERT_TRUE(store.Append("a\n"));
  std::filesystem::remove_all(folder);
  EXPECT_FALSE(store.Intact()) << "folder deleted";
  ASSERT_TRUE(store.Replace("b\n")) << "the folder is made again";
  EXPECT_TRUE(store.Intact());
  ASSERT_TRUE(store.Append("c\n"));
  EXPECT_EQ(store.ReadAll(), "b\nc\n");
}

// Something that is no regular file at the journal's name is refused at once: the start names it,
// and neither a read nor an append waits on it (a FIFO without a writer would block an open for
// ever) or writes through it into another file.
TEST(PosixDurableFile, RefusesWhatIsNoRegularFile) {
  TempDir dir;
  const std::string elsewhere = dir.File("elsewhere.txt");
  std::ofstream(elsewhere) << "theirs\n";
  struct Case {
    const char* name;
    std::string path;
    std::string kind;
  };
  const Case cases[] = {
      {"FIFO", dir.File("fifo/calls-journal.txt"), "a FIFO"},
      {"symbolic link elsewhere", dir.File("link/calls-journal.txt"), "a symbolic link"},
      {"folder", dir.File("folder/calls-journal.txt"), "a folder"},
      {"device", "/dev/null", "a device"},
  };
  std::filesystem::create_directory(dir.File("fifo"));
  ASSERT_EQ(mkfifo(cases[0].path.c_str(), 0600), 0);
  std::filesystem::create_directory(dir.File("link"));
  std::filesystem::create_symlink(elsewhere, cases[1].path);
  std::filesystem::create_directories(cases[2].path);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NonRegularKind(c.path), c.kind);
    EXPECT_NE(RefuseNonRegularFiles({dir.File("missing.txt"), elsewhere, c.path}).find(c.path),
              std::string::npos);
    testing_support::ExpectRefused(c.path);
  }
  std::ifstream written(elsewhere);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "theirs\n");
  EXPECT_EQ(RefuseNonRegularFiles({elsewhere, dir.File("missing.txt")}), "");
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
