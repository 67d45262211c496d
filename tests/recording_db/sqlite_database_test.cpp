#include "recording/sqlite/sqlite_database.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "recording/call_statement.h"
#include "recording/open_database.h"
#include "sqlite_rows.h"
#include "support/temp_dir.h"

namespace qelto {
namespace {

using testing::HasSubstr;
using testing_support::Rows;
using testing_support::SqliteRows;
using testing_support::TempDir;

std::string Insert(const std::string& line, const std::string& number,
                   const std::string& branch = "", SqlDialect dialect = SqlDialect::Standard) {
  const SolarDate stamp{"00", "01", "01", "10:00:00"};
  const std::string column = branch.empty() ? "" : ", BranchCode";
  const std::string value = branch.empty() ? "" : ", '" + branch + "'";
  return BuildCallInsertStatement(line, number, stamp, column, value, dialect);
}

class SqliteFile : public testing::Test {
 protected:
  void OpenOk() {
    std::string error;
    ASSERT_TRUE(db.Open(error)) << error;
    ASSERT_TRUE(db.Connected());
  }
  void ExecuteOk(const std::string& statement) {
    std::string error;
    ASSERT_TRUE(db.Execute(statement, error)) << error;
  }
  Rows Calls() const {
    return SqliteRows(path,
                      "SELECT IdNumber, LineNumber, TotalNumber, BranchCode FROM Pos_Calls "
                      "ORDER BY IdNumber");
  }

  TempDir dir;
  std::string path = dir.File("calls.db");
  SqliteDatabase db{path};
};

TEST_F(SqliteFile, OpenCreatesTheFileWithTheCallsTable) {
  OpenOk();
  EXPECT_EQ(SqliteRows(path, "SELECT name, type, pk FROM pragma_table_info('Pos_Calls')"),
            (Rows{{"IdNumber", "INTEGER", "1"},
                  {"LineNumber", "TEXT", "0"},
                  {"TotalNumber", "TEXT", "0"},
                  {"TarYY", "TEXT", "0"},
                  {"TarMM", "TEXT", "0"},
                  {"TarDD", "TEXT", "0"},
                  {"Time", "TEXT", "0"},
                  {"BranchCode", "TEXT", "0"}}));
  EXPECT_EQ(SqliteRows(path, "PRAGMA journal_mode"), (Rows{{"wal"}}));
  EXPECT_EQ(db.Dialect(), SqlDialect::Standard);
#if !defined(_WIN32)
  ExecuteOk(Insert("1", "5"));
  namespace fs = std::filesystem;
  for (const std::string& file : {path, path + "-wal", path + "-shm"}) {
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write)
        << file << ": the callers' numbers are for the shop's user alone";
  }
#endif
}

TEST_F(SqliteFile, RowsAreNumberedOneAboveTheHighest) {
  OpenOk();
  ExecuteOk(Insert("3", "123456", "12"));
  ExecuteOk(Insert("1", "0912", "12"));
  ExecuteOk(Insert("2", "0"));
  EXPECT_EQ(
      Calls(),
      (Rows{{"1", "3", "123456", "12"}, {"2", "1", "0912", "12"}, {"3", "2", "0", "<NULL>"}}));
  EXPECT_EQ(SqliteRows(path, "SELECT TarYY, TarMM, TarDD, Time FROM Pos_Calls WHERE IdNumber = 1"),
            (Rows{{"00", "01", "01", "10:00:00"}}));
}

// The look-up before a second INSERT goes through the key: a new file gets no index of ours,
// which would cost every INSERT; one an earlier version made stays for the shop's own queries.
TEST_F(SqliteFile, ANewFileHasNoIndexOfOursAndAnOldOneKeepsIt) {
  const std::string indexes = "SELECT name FROM sqlite_master WHERE type = 'index'";
  OpenOk();
  EXPECT_EQ(SqliteRows(path, indexes), Rows{});
  ExecuteOk("CREATE INDEX Pos_Calls_Call ON Pos_Calls (TotalNumber, TarYY, TarMM, TarDD, Time)");
  db.Close();
  OpenOk();
  EXPECT_EQ(SqliteRows(path, indexes), (Rows{{"Pos_Calls_Call"}}));
}

TEST_F(SqliteFile, ReopeningKeepsTheRowsAndTheNumbering) {
  OpenOk();
  ExecuteOk(Insert("1", "111"));
  db.Close();
  EXPECT_FALSE(db.Connected());
  OpenOk();
  ExecuteOk(Insert("1", "222"));
  EXPECT_EQ(Calls(), (Rows{{"1", "1", "111", "<NULL>"}, {"2", "1", "222", "<NULL>"}}));
}

TEST_F(SqliteFile, QuotedValuesAreStoredExactly) {
  OpenOk();
  const std::string nasty = "'); DROP TABLE Pos_Calls; --";
  ExecuteOk(BuildCallInsertStatement("1", nasty, SolarDate{"00", "01", "01", "10:00:00"},
                                     ", BranchCode", ", 'O''B'", SqlDialect::Standard));
  EXPECT_EQ(Calls(), (Rows{{"1", "1", nasty, "O'B"}}));
}

TEST_F(SqliteFile, FailingStatementReportsSqliteMessageAndKeepsTheConnection) {
  OpenOk();
  std::string error;
  EXPECT_FALSE(db.Execute("INSERT INTO Pos_Cals (IdNumber) VALUES (1)", error));
  EXPECT_THAT(error, HasSubstr("no such table: Pos_Cals"));
  error.clear();
  // SQL Server's ISNULL is a syntax error here: the reason the dialect exists.
  EXPECT_FALSE(db.Execute(Insert("1", "5", "", SqlDialect::SqlServer), error));
  EXPECT_THAT(error, HasSubstr("syntax error"));
  EXPECT_TRUE(db.Connected());
  ExecuteOk(Insert("1", "5"));
  EXPECT_EQ(Calls().size(), 1u);
}

TEST_F(SqliteFile, OnlyOneStatementIsRun) {
  OpenOk();
  std::string error;
  EXPECT_FALSE(db.Execute(Insert("1", "5") + "; DROP TABLE Pos_Calls", error));
  EXPECT_THAT(error, HasSubstr("one statement"));
  EXPECT_EQ(Calls(), Rows{});
  ExecuteOk(Insert("1", "5") + ";  -- a comment after the statement is fine");
  EXPECT_EQ(Calls().size(), 1u);
}

TEST_F(SqliteFile, NothingIsExecutedWhileClosed) {
  std::string error;
  EXPECT_FALSE(db.Execute(Insert("1", "5"), error));
  EXPECT_THAT(error, HasSubstr("not open"));
  OpenOk();
  db.Close();
  db.Close();
  error.clear();
  EXPECT_FALSE(db.Execute(Insert("1", "5"), error));
  EXPECT_THAT(error, HasSubstr("not open"));
  EXPECT_EQ(Calls(), Rows{});
}

// The writer's stop cancels the connection, mostly between statements. The database file alone
// must then hold every call: shops back it up by copying that one file with the recorder stopped.
TEST_F(SqliteFile, AStopBetweenStatementsLeavesEveryCallInTheDatabaseFile) {
  OpenOk();
  ExecuteOk(Insert("1", "09121234567"));
  db.Cancel();
  db.Close();
  EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
  const std::string copy = dir.File("copy.db");
  std::filesystem::copy_file(path, copy);
  EXPECT_EQ(SqliteRows(copy, "SELECT TotalNumber FROM Pos_Calls"), Rows{{"09121234567"}});
}

TEST_F(SqliteFile, LongStatementIsStoppedAtItsTimeOut) {
  SqliteDatabase quick(path,
                       DatabaseTimeouts{std::chrono::seconds(15), std::chrono::milliseconds(50)});
  std::string error;
  ASSERT_TRUE(quick.Open(error)) << error;
  // Would count for ever without the time-out.
  EXPECT_FALSE(
      quick.Execute("INSERT INTO Pos_Calls (IdNumber) WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL "
                    "SELECT x + 1 FROM n) SELECT max(x) FROM n",
                    error));
  EXPECT_THAT(error, HasSubstr("interrupted"));
  EXPECT_THAT(error, HasSubstr("50 ms"));
  error.clear();
  EXPECT_TRUE(quick.Execute(Insert("1", "5"), error)) << error;
}

// What the writer does with a failure depends on its kind: only the statement's own fault may set
// a call aside, a taken key is run again, and a missing table waits (the calls' table is made
// again). A failed statement was rolled back: nothing to look up.
TEST_F(SqliteFile, FailuresSayWhetherTheStatementOrTheServerIsAtFault) {
  OpenOk();
  ExecuteOk("CREATE TABLE Strict (x INTEGER PRIMARY KEY, y TEXT NOT NULL UNIQUE)");
  ExecuteOk("INSERT INTO Strict VALUES (1, 'a')");
  const struct {
    const char* statement;
    DbFailure kind;
  } cases[] = {
      {"INSERT INTO Pos_Cals (IdNumber) VALUES (1)", DbFailure::kTableMissing},
      {"INSERT INTO Pos_Calls (Missing) VALUES (1)", DbFailure::kTableMissing},
      {"SELECT Missing FROM Pos_Calls", DbFailure::kTableMissing},
      {"INSERT INTO Strict VALUES (1, 'b')", DbFailure::kKeyCollision},
      {"INSERT INTO Strict VALUES (2, 'a')", DbFailure::kKeyCollision},
      {"INSERT INTO Strict VALUES (3, NULL)", DbFailure::kRefused},   // constraint
      {"INSERT INTO Strict VALUES ('x', 'c')", DbFailure::kRefused},  // mismatch
      {"SELEKT 1", DbFailure::kRefused},                              // syntax
  };
  for (const auto& c : cases) {
    DbError error;
    EXPECT_FALSE(db.Execute(c.statement, error)) << c.statement;
    EXPECT_EQ(error.kind, c.kind) << c.statement << ": " << error.message;
    EXPECT_FALSE(error.outcomeUnknown) << c.statement;
  }
}

// Another program holds the file locked (a backup, a report): the server is busy, the call is
// not at fault, and the wait ends at the statement's time-out or at once on Cancel().
TEST_F(SqliteFile, ALockedFileIsBusyUntilTheTimeOutOrACancel) {
  OpenOk();
  SqliteDatabase quick(path,
                       DatabaseTimeouts{std::chrono::seconds(15), std::chrono::milliseconds(200)});
  std::string openError;
  ASSERT_TRUE(quick.Open(openError)) << openError;
  ExecuteOk("BEGIN EXCLUSIVE");
  DbError error;
  EXPECT_FALSE(quick.Execute(Insert("1", "5"), error));
  EXPECT_EQ(error.kind, DbFailure::kBusy) << error.message;
  EXPECT_FALSE(error.outcomeUnknown) << "a statement that waited on a lock did not commit";
  EXPECT_THAT(error.message, HasSubstr("locked"));

  SqliteDatabase patient(path);  // would wait 30 s
  ASSERT_TRUE(patient.Open(openError)) << openError;
  // A statement starts by clearing an earlier cancel, and SQLite shows nobody outside that it
  // waits on the lock: the cancel is sent again and again until the statement has ended (for up
  // to 20 s), so that one meets the wait, which would otherwise last 30 s.
  std::atomic<bool> ended{false};
  std::thread canceller([&] {
    for (int i = 0; i < 1000 && !ended; ++i) {
      patient.Cancel();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(patient.Execute(Insert("1", "5"), error));
  ended = true;
  canceller.join();
  EXPECT_EQ(error.kind, DbFailure::kBusy);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25))
      << "the cancel did not end the wait";
  ExecuteOk("COMMIT");
  EXPECT_TRUE(quick.Execute(Insert("1", "5"), error)) << error.message;
}

TEST_F(SqliteFile, QueryNumberCountsACallsRows) {
  OpenOk();
  const SolarDate stamp{"00", "01", "01", "10:00:00"};
  const std::string lookup = BuildCallLookupQuery("1", "5", stamp, ", 'B'");
  DbError error;
  EXPECT_EQ(db.QueryNumber(lookup, error), 0);
  ExecuteOk(Insert("1", "5", "B"));
  ExecuteOk(Insert("1", "5", "C"));
  EXPECT_EQ(db.QueryNumber(lookup, error), 1);
  EXPECT_EQ(db.QueryNumber(BuildCallLookupQuery("1", "5", stamp, ""), error), 2);
  EXPECT_EQ(db.QueryNumber(BuildCallLookupQuery("1", "5", stamp, "", 1), error), 1)
      << "only the rows numbered above 1";
  EXPECT_EQ(db.QueryNumber(BuildCallLookupQuery("1", "5", stamp, "", 2), error), 0);
  EXPECT_EQ(db.QueryNumber(BuildCallLookupQuery("1", "5", stamp, ", 'B'", -7), error), 1);
  EXPECT_EQ(db.QueryNumber("SELECT IdNumber FROM Pos_Calls WHERE 0", error), 0) << "no row";
  EXPECT_FALSE(db.QueryNumber("SELECT missing FROM nowhere", error).has_value());
  EXPECT_EQ(error.kind, DbFailure::kTableMissing);
}

TEST(SqliteOpen, FailsWithMessageWhereNoFileCanBe) {
  TempDir dir;
  { std::ofstream(dir.File("plain")) << "not a folder"; }
  std::filesystem::create_directory(dir.File("folder"));
  const std::string paths[] = {dir.File("plain") + "/calls.db", dir.File("missing/calls.db"),
                               dir.File("folder")};
  for (const auto& path : paths) {
    SqliteDatabase db(path);
    std::string error;
    EXPECT_FALSE(db.Open(error)) << path;
    EXPECT_FALSE(db.Connected()) << path;
    EXPECT_THAT(error, HasSubstr(path)) << path;
    EXPECT_THAT(error, HasSubstr("unable to open database file")) << path;
  }
}

TEST(SqliteOpen, FailsWithMessageOnAFileThatIsNotADatabase) {
  TempDir dir;
  { std::ofstream(dir.File("calls.db")) << std::string(4096, 'x'); }
  SqliteDatabase db(dir.File("calls.db"));
  std::string error;
  EXPECT_FALSE(db.Open(error));
  EXPECT_FALSE(db.Connected());
  EXPECT_THAT(error, HasSubstr("file is not a database"));
}

TEST(SqliteOpen, EmptyPathIsRefused) {
  SqliteDatabase db("");
  std::string error;
  EXPECT_FALSE(db.Open(error));
  EXPECT_FALSE(db.Connected());
  EXPECT_FALSE(error.empty());
}

ServerConfig SqliteSettings(const std::string& dataSource) {
  return ParseServerConfig("any\n" + dataSource + "\n\n0\n\n", "Server_Config.dll");
}

TEST(OpenDatabaseFor, SqlitePathsAreTakenFromTheSettingsFolder) {
  TempDir settingsDir;
  TempDir otherDir;
  const struct {
    std::string dataSource;
    std::string expectedFile;
  } cases[] = {
      {"sqlite:calls.db", settingsDir.File("calls.db")},
      {"sqlite:data/../shop.db", settingsDir.File("shop.db")},
      {"sqlite:" + otherDir.File("abs.db"), otherDir.File("abs.db")},
  };
  std::filesystem::create_directory(settingsDir.File("data"));
  for (const auto& c : cases) {
    const auto db = OpenDatabaseFor(SqliteSettings(c.dataSource), settingsDir.path().string());
    EXPECT_FALSE(db->Connected()) << "connects only on Open()";
    std::string error;
    ASSERT_TRUE(db->Open(error)) << error;
    EXPECT_EQ(db->Dialect(), SqlDialect::Standard);
    EXPECT_TRUE(std::filesystem::exists(c.expectedFile)) << c.dataSource;
  }
}

}  // namespace
}  // namespace qelto
