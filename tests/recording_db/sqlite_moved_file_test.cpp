#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "recording/call_writer.h"
#include "recording/sqlite/database_file.h"
#include "recording/sqlite/sqlite_database.h"
#include "sqlite_rows.h"
#include "support/fake_clock.h"
#include "support/memory_durable_file.h"
#include "support/memory_log_files.h"
#include "support/temp_dir.h"
#include "ui/activity_log.h"

namespace qelto {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing_support::FakeClock;
using testing_support::MemoryDurableFile;
using testing_support::MemoryLogFiles;
using testing_support::Rows;
using testing_support::SqliteRows;
using testing_support::TempDir;
namespace fs = std::filesystem;

// The shop's file changes under the running recorder: deleted, replaced by a backup copy, its
// table dropped. The calls that follow land, once each, in the file the settings name. Windows
// refuses to delete or replace a file SQLite holds open; there the dropped table also shows that
// the file's identity stays the same from one look to the next.
TEST(SqliteFileChangedWhileOpen, TheNextCallsLandInTheNamedFileOnce) {
  const struct {
    const char* what;
    bool possibleOnWindows;
    std::function<void(const std::string& path)> change;
    Rows rows;           // the numbers in the named file afterwards
    const char* logged;  // the one line that tells what happened
  } cases[] = {
      {"deleted",
       false,
       [](const std::string& path) {
         for (const char* end : {"", "-wal", "-shm"}) fs::remove(path + end);
       },
       {{"222"}, {"333"}},
       "was deleted while in use"},
      {"replaced by a backup copy",
       false,
       [](const std::string& path) {
         const std::string copy = path + ".bak";
         SqliteRows(path, "VACUUM INTO '" + copy + "'");
         fs::rename(copy, path);
       },
       {{"111"}, {"222"}, {"333"}},
       "was replaced by another file while in use"},
      {"its table dropped",
       true,
       [](const std::string& path) {
         SqliteDatabase other(path);
         std::string error;
         ASSERT_TRUE(other.Open(error) && other.Execute("DROP TABLE Pos_Calls", error)) << error;
       },
       {{"222"}, {"333"}},
       "no such table: Pos_Calls; the table is made again"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.possibleOnWindows && !OpenFilesCanBeReplaced()) continue;
    TempDir dir;
    const std::string path = dir.File("pos_calls.sqlite");
    SqliteDatabase database(path);
    FakeClock clock;
    LockedCallQueue queue;
    MemoryDurableFile journalFile, damaged, rejected;
    CallJournal journal(journalFile, damaged);
    MemoryLogFiles logFiles;
    ActivityLog log(logFiles, clock);
    log.Open();
    CallWriter writer(database, queue, journal, rejected, log, clock, {"", ""});
    const auto arriveAndWrite = [&](const char* line) {
      QueuedCall call;
      call.moment = {2026, 12, 9, 10, 0, 0};
      call.line = line;
      std::string problem;
      journal.Record(call, problem);
      queue.Append(std::move(call));
      clock.Advance(kReconnectWaitMs + 1);
      writer.ReconnectAndWrite();
    };

    arriveAndWrite("1,111");
    c.change(path);
    arriveAndWrite("1,222");
    arriveAndWrite("1,333");
    clock.Advance(kReconnectWaitMs + 1);
    writer.ReconnectAndWrite();

    EXPECT_EQ(SqliteRows(path, "SELECT TotalNumber FROM Pos_Calls ORDER BY IdNumber"), c.rows);
    EXPECT_EQ(journal.PendingCount(), 0u);
    EXPECT_EQ(rejected.Content(), "");
    EXPECT_THAT(logFiles.Messages(), ElementsAre(HasSubstr(c.logged)));
  }
}

// Where the system is said to refuse it (Windows), nobody can delete or replace the file while the
// connection holds it, so the writer's look after every row may be left out; elsewhere both work.
TEST(SqliteFileChangedWhileOpen, TheSystemRefusesWhatTheLookAfterEachRowIsLeftOutFor) {
  TempDir dir;
  const std::string path = dir.File("pos_calls.sqlite");
  SqliteDatabase database(path);
  std::string error;
  ASSERT_TRUE(database.Open(error)) << error;
  std::ofstream(dir.File("copy")) << "a backup";
  std::error_code replaced, deleted;
  fs::rename(dir.File("copy"), path, replaced);
  fs::remove(path, deleted);
  EXPECT_EQ(!replaced, OpenFilesCanBeReplaced()) << replaced.message();
  EXPECT_EQ(!deleted, OpenFilesCanBeReplaced()) << deleted.message();
}

// The look that the check above rests on: one file, by any path and under any name, is one
// identity; another file, even one made anew at the same path, is another.
TEST(FileIdentity, TellsFilesApart) {
  TempDir dir;
  const std::string path = dir.File("pos_calls.sqlite");
  EXPECT_FALSE(IdentifyFile(path).has_value()) << "no file there";
  std::ofstream(path).put('x');
  const auto first = IdentifyFile(path);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(IdentifyFile((fs::path(dir.File(".")) / "pos_calls.sqlite").string()), first);
  std::ofstream(dir.File("other")).put('y');
  EXPECT_NE(IdentifyFile(dir.File("other")), first);
  fs::rename(path, dir.File("moved"));
  EXPECT_EQ(IdentifyFile(dir.File("moved")), first) << "a file keeps its identity when renamed";
  std::ofstream(path).put('z');
  EXPECT_NE(IdentifyFile(path), first);
}

}  // namespace
}  // namespace qelto
