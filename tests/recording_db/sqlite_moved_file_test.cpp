#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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
using testing_support::SqliteBackup;
using testing_support::SqliteRows;
using testing_support::TempDir;
namespace fs = std::filesystem;

// What a database file holds: "ok" from SQLite's integrity check (or what the check found), then
// the numbers of its rows in their order; only the message when the file cannot be read.
Rows Contents(const std::string& path) {
  try {
    Rows rows = SqliteRows(path, "PRAGMA integrity_check");
    for (auto& row : SqliteRows(path, "SELECT TotalNumber FROM Pos_Calls ORDER BY IdNumber")) {
      rows.push_back(std::move(row));
    }
    return rows;
  } catch (const std::exception& failure) {
    return {{failure.what()}};
  }
}

// A sound file holding these numbers, and the `count` calls from `first` on between them.
Rows Sound(std::vector<std::string> before, int first = 0, int count = 0,
           std::vector<std::string> after = {}) {
  Rows rows{{"ok"}};
  for (auto& number : before) rows.push_back({std::move(number)});
  for (int n = first; n < first + count; ++n) rows.push_back({std::to_string(n)});
  for (auto& number : after) rows.push_back({std::move(number)});
  return rows;
}

// The shop's database, passed through, and changed by `change` just after the INSERT of the call
// with the number `at` was carried out: the shop's move comes while a row is being written.
class ChangedWhileWriting : public Database {
 public:
  ChangedWhileWriting(Database& database, std::string at, std::function<void()> change)
      : database_(database), at_("'" + std::move(at) + "'"), change_(std::move(change)) {}
  bool Open(std::string& error) override { return database_.Open(error); }
  bool Connected() const override { return database_.Connected(); }
  bool AtNamedPlace(std::string& change) override { return database_.AtNamedPlace(change); }
  void Close() override { database_.Close(); }
  using Database::Execute;
  bool Execute(const std::string& statement, DbError& error) override {
    const bool done = database_.Execute(statement, error);
    if (done && change_ && statement.starts_with("INSERT") &&
        statement.find(at_) != std::string::npos) {
      std::exchange(change_, nullptr)();
    }
    return done;
  }
  std::optional<std::int64_t> QueryNumber(const std::string& query, DbError& error) override {
    return database_.QueryNumber(query, error);
  }
  void Cancel() override { database_.Cancel(); }
  SqlDialect Dialect() const override { return database_.Dialect(); }

 private:
  Database& database_;
  const std::string at_;
  std::function<void()> change_;
};

// The shop's file changes under the running recorder: deleted, archived by renaming it, replaced
// by a backup copy or a restored backup, its table dropped; between two wakes of the writer, or
// while it writes a row. The calls that follow land, once each, in the file the settings name; a
// file renamed keeps every row written into it; no file is damaged. Windows refuses to delete,
// rename or replace a file SQLite holds open; there the dropped table also shows that the file's
// identity stays the same from one look to the next.
TEST(SqliteFileChangedWhileOpen, TheNextCallsLandInTheNamedFileOnce) {
  using Burst = std::function<void(int first, int count)>;
  const std::string archive = "archive-1405-09.sqlite";
  const std::string backup = "backup.sqlite";
  // The shop's backup of the live file, taken while the recorder runs, then a busy hour.
  const auto backUpThenBusyHour = [&](const std::string& path, const Burst& burst) {
    SqliteBackup(path, fs::path(path).replace_filename(backup).string());
    burst(1000, 100);
  };
  const auto restore = [&](const std::string& path) {
    fs::rename(fs::path(path).replace_filename(backup), path);
  };
  const auto rename = [&](const std::string& path) {
    fs::rename(path, fs::path(path).replace_filename(archive));
  };
  const struct {
    const char* what;
    bool possibleOnWindows;
    std::function<void(const std::string& path, const Burst& burst)> before;
    std::function<void(const std::string& path)> change;
    bool whileWriting;   // the change comes right after the call 222's row was written
    Rows rows;           // the named file afterwards
    Rows archived;       // the file renamed to `archive`, for the cases that make one
    const char* logged;  // the one line that tells what happened
  } cases[] = {
      {"deleted",
       false,
       nullptr,
       [](const std::string& path) {
         for (const char* end : {"", "-wal", "-shm"}) fs::remove(path + end);
       },
       false,
       Sound({"222", "333"}),
       {},
       "was moved away or deleted while in use"},
      {"replaced by a backup copy",
       false,
       nullptr,
       [](const std::string& path) {
         const std::string copy = path + ".bak";
         SqliteRows(path, "VACUUM INTO '" + copy + "'");
         fs::rename(copy, path);
       },
       false,
       Sound({"111", "222", "333"}),
       {},
       "was replaced by another file while in use"},
      {"renamed to archive it", false,
       [](const std::string&, const Burst& burst) { burst(1000, 100); }, rename, false,
       Sound({"222", "333"}), Sound({"111"}, 1000, 100), "was moved away or deleted while in use"},
      {"renamed while a row is written", false, nullptr, rename, true,
       Sound({"222", "333"}),  // the call 222 is in both: the archive got its row first
       Sound({"111", "222"}), "was moved away or deleted while in use"},
      {"a backup restored after a busy hour",
       false,
       backUpThenBusyHour,
       restore,
       false,
       Sound({"111", "222", "333"}),  // the busy hour's rows went with the file the backup replaced
       {},
       "was replaced by another file while in use"},
      {"a backup restored while a row is written",
       false,
       backUpThenBusyHour,
       restore,
       true,
       Sound({"111", "222", "333"}),
       {},
       "was replaced by another file while in use"},
      {"a backup restored with its own -wal",
       false,
       [&](const std::string& path, const Burst& burst) {
         // A copy of both files of a backup whose latest row is still in its -wal.
         const fs::path copy = fs::path(path).replace_filename(backup);
         SqliteRows(path, "VACUUM INTO '" + copy.string() + "'");
         SqliteDatabase other(copy.string());
         std::string error;
         ASSERT_TRUE(other.Open(error) &&
                     other.Execute("INSERT INTO Pos_Calls (TotalNumber) VALUES ('999')", error))
             << error;
         fs::copy_file(copy, path + ".restore");
         fs::copy_file(copy.string() + "-wal", path + ".restore-wal");
         burst(1000, 100);
       },
       [](const std::string& path) {
         fs::rename(path + ".restore-wal", path + "-wal");
         fs::rename(path + ".restore", path);
       },
       false,
       Sound({"111", "999", "222", "333"}),
       {},
       "was replaced by another file while in use"},
      {"its table dropped",
       true,
       nullptr,
       [](const std::string& path) {
         SqliteDatabase other(path);
         std::string error;
         ASSERT_TRUE(other.Open(error) && other.Execute("DROP TABLE Pos_Calls", error)) << error;
       },
       false,
       Sound({"222", "333"}),
       {},
       "no such table: Pos_Calls; the table is made again"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.possibleOnWindows && !OpenFilesCanBeReplaced()) continue;
    TempDir dir;
    const std::string path = dir.File("pos_calls.sqlite");
    SqliteDatabase file(path);
    ChangedWhileWriting database(
        file, "222", c.whileWriting ? [&] { c.change(path); } : std::function<void()>());
    FakeClock clock;
    LockedCallQueue queue;
    MemoryDurableFile journalFile, damaged, rejected;
    CallJournal journal(journalFile, damaged);
    MemoryLogFiles logFiles;
    ActivityLog log(logFiles, clock);
    log.Open();
    CallWriter writer(database, queue, journal, rejected, log, clock, {"", ""});
    const auto arrive = [&](const std::string& line) {
      QueuedCall call;
      call.moment = {2026, 12, 9, 10, 0, 0};
      call.line = line;
      std::string problem;
      journal.Record(call, problem);
      queue.Append(std::move(call));
    };
    const auto write = [&] {
      clock.Advance(kReconnectWaitMs + 1);
      writer.ReconnectAndWrite();
    };
    const Burst burst = [&](int first, int count) {
      for (int n = first; n < first + count; ++n) arrive("1," + std::to_string(n));
      write();
    };

    arrive("1,111");
    write();
    if (c.before) c.before(path, burst);
    if (!c.whileWriting) c.change(path);
    arrive("1,222");
    write();
    arrive("1,333");
    write();
    write();

    EXPECT_EQ(Contents(path), c.rows);
    if (!c.archived.empty()) {
      EXPECT_EQ(Contents(dir.File(archive)), c.archived);
    }
    EXPECT_EQ(journal.PendingCount(), 0u);
    EXPECT_EQ(rejected.Content(), "");
    // The one line that tells what happened, and, where a call was held up by it, the line
    // that says calls flow again.
    const std::vector<std::string> messages = logFiles.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_THAT(messages.front(), HasSubstr(c.logged));
    EXPECT_THAT(std::vector<std::string>(messages.begin() + 1, messages.end()),
                testing::AnyOf(testing::IsEmpty(),
                               ElementsAre(testing::StartsWith("The database takes calls again"))));
  }
}

// A program that still reads the renamed file holds its latest rows in the -wal beside the path:
// the file at the path waits, and is opened once the reader is done, with the archive whole.
TEST(SqliteFileChangedWhileOpen, AReaderOfTheRenamedFileHoldsUpTheNewOneUntilItIsDone) {
  if (!OpenFilesCanBeReplaced()) GTEST_SKIP() << "an open file cannot be renamed here";
  TempDir dir;
  const std::string path = dir.File("pos_calls.sqlite");
  const std::string archive = dir.File("archive.sqlite");
  SqliteDatabase database(path, {std::chrono::milliseconds(50), std::chrono::milliseconds(1000)});
  SqliteDatabase reader(path);
  std::string error;
  const auto insert = [&](const char* number) {
    return database.Execute(
        std::string("INSERT INTO Pos_Calls (TotalNumber) VALUES ('") + number + "')", error);
  };
  ASSERT_TRUE(database.Open(error) && insert("111")) << error;
  DbError failure;
  ASSERT_TRUE(reader.Open(error) && reader.Execute("BEGIN", error) &&
              reader.QueryNumber("SELECT COUNT(*) FROM Pos_Calls", failure))
      << error << failure.message;
  ASSERT_TRUE(insert("222")) << error;
  fs::rename(path, archive);

  std::string change;
  EXPECT_FALSE(database.AtNamedPlace(change));
  EXPECT_FALSE(database.Open(error));
  EXPECT_THAT(error, HasSubstr("not all in it yet (database is locked: another program reads it)"));
  EXPECT_FALSE(fs::exists(path)) << "no file made at the path while its -wal is the old one's";
  ASSERT_TRUE(reader.Execute("COMMIT", error)) << error;
  ASSERT_TRUE(database.Open(error) && insert("333")) << error;

  EXPECT_EQ(Contents(archive), Sound({"111", "222"}));
  EXPECT_EQ(Contents(path), Sound({"333"}));
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
