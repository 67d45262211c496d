// PostgreSQL through unixODBC and the psqlODBC driver, by the data sources of the odbc.ini that
// the build writes beside this test (ODBCINI). tools/test-postgres starts the server; these tests
// fail when it cannot be reached, unless QELTO_SKIP_POSTGRES=1 says to skip them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

#include "odbc_rows.h"
#include "recording/call_statement.h"
#include "recording/open_database.h"

namespace qelto {
namespace {

using testing::HasSubstr;
using testing::Not;
using testing_support::OdbcRows;
using testing_support::Rows;

constexpr const char* kTestDsn = "DSN=PosTest;UID=recorder;PWD=pw;";

ServerConfig DsnSettings(const std::string& dsn, const std::string& password = "pw",
                         const std::string& user = "recorder") {
  return ParseServerConfig("any\nodbc:" + dsn + "\nshop\n1\n" + user + "\n" + password + "\n",
                           "Server_Config.dll");
}

bool SkipPostgres() {
  const char* skip = std::getenv("QELTO_SKIP_POSTGRES");
  return skip != nullptr && std::string(skip) == "1";
}

std::string Insert(const std::string& line, const std::string& number,
                   const std::string& branch = "") {
  const std::string column = branch.empty() ? "" : ", BranchCode";
  const std::string value = branch.empty() ? "" : ", '" + branch + "'";
  return BuildCallInsertStatement(line, number, SolarDate{"00", "01", "01", "10:00:00"}, column,
                                  value, SqlDialect::Standard);
}

class PostgresOdbc : public testing::Test {
 protected:
  void SetUp() override {
    if (SkipPostgres()) GTEST_SKIP() << "QELTO_SKIP_POSTGRES=1";
    std::string error;
    ASSERT_TRUE(db->Open(error))
        << "PostgreSQL is not reachable through the data source PosTest: " << error
        << "\nStart it with tools/test-postgres (as root), or set QELTO_SKIP_POSTGRES=1 to skip.";
    ExecuteOk("DROP TABLE IF EXISTS Pos_Calls");
    ExecuteOk(
        "CREATE TABLE Pos_Calls (IdNumber integer PRIMARY KEY, LineNumber varchar(10), "
        "TotalNumber varchar(50), TarYY varchar(2), TarMM varchar(2), TarDD varchar(2), "
        "Time varchar(8), BranchCode varchar(50))");
  }
  void ExecuteOk(const std::string& statement) {
    std::string error;
    ASSERT_TRUE(db->Execute(statement, error)) << error;
  }
  static Rows Calls() {
    return OdbcRows(kTestDsn,
                    "SELECT IdNumber, LineNumber, TotalNumber, BranchCode FROM Pos_Calls "
                    "ORDER BY IdNumber");
  }

  std::unique_ptr<Database> db = OpenDatabaseFor(DsnSettings("PosTest"), "");
};

TEST_F(PostgresOdbc, RowsAreNumberedOneAboveTheHighest) {
  EXPECT_EQ(db->Dialect(), SqlDialect::Standard);
  EXPECT_TRUE(db->Connected());
  ExecuteOk(Insert("3", "123456", "12"));
  ExecuteOk(Insert("1", "0912", "12"));
  ExecuteOk(Insert("2", "0"));
  EXPECT_EQ(
      Calls(),
      (Rows{{"1", "3", "123456", "12"}, {"2", "1", "0912", "12"}, {"3", "2", "0", "<NULL>"}}));
  EXPECT_EQ(
      OdbcRows(kTestDsn, "SELECT TarYY, TarMM, TarDD, Time FROM Pos_Calls WHERE IdNumber = 1"),
      (Rows{{"00", "01", "01", "10:00:00"}}));
}

TEST_F(PostgresOdbc, QuotedValuesAreStoredExactly) {
  const std::string nasty = "'); DROP TABLE Pos_Calls; --";
  ExecuteOk(BuildCallInsertStatement("1", nasty, SolarDate{"00", "01", "01", "10:00:00"},
                                     ", BranchCode", ", 'O''B'", SqlDialect::Standard));
  EXPECT_EQ(Calls(), (Rows{{"1", "1", nasty, "O'B"}}));
}

TEST_F(PostgresOdbc, ValueTooLongFailsWithTheServersMessage) {
  ExecuteOk("ALTER TABLE Pos_Calls ALTER COLUMN TotalNumber TYPE varchar(4)");
  std::string error;
  EXPECT_FALSE(db->Execute(Insert("1", "123456"), error));
  EXPECT_THAT(error, HasSubstr("value too long for type character varying(4)"));
  EXPECT_THAT(error, Not(HasSubstr("\n")));
  // The failed statement leaves no transaction behind: the next one is written.
  EXPECT_TRUE(db->Connected());
  ExecuteOk(Insert("1", "1234"));
  EXPECT_EQ(Calls(), (Rows{{"1", "1", "1234", "<NULL>"}}));
}

TEST_F(PostgresOdbc, LongStatementIsCancelledAtItsTimeOut) {
  const auto quick =
      OpenDatabaseFor(DsnSettings("PosTest"), "",
                      DatabaseTimeouts{std::chrono::seconds(15), std::chrono::seconds(1)});
  std::string error;
  ASSERT_TRUE(quick->Open(error)) << error;
  // Would succeed after 20 s without the time-out.
  EXPECT_FALSE(quick->Execute("SELECT pg_sleep(20)", error));
  EXPECT_THAT(error, HasSubstr("statement timeout"));
}

TEST_F(PostgresOdbc, FailuresSayWhetherTheStatementOrTheServerIsAtFault) {
  ExecuteOk("ALTER TABLE Pos_Calls ALTER COLUMN TotalNumber TYPE varchar(4)");
  ExecuteOk(Insert("1", "5"));
  const struct {
    std::string statement;
    DbFailure kind;
  } cases[] = {
      {Insert("1", "123456"), DbFailure::kRefused},                               // 22001
      {"INSERT INTO Pos_Calls (IdNumber) VALUES (1)", DbFailure::kKeyCollision},  // 23505
      {"INSERT INTO Pos_Calls (LineNumber) VALUES ('1')", DbFailure::kRefused},   // 23502
      {"INSERT INTO Pos_Cals (IdNumber) VALUES (1)", DbFailure::kTableMissing},   // 42P01
      {"INSERT INTO Pos_Calls (Missing) VALUES (1)", DbFailure::kTableMissing},   // 42703
      {"SELECT 1/0", DbFailure::kRefused},                                        // 22012
  };
  for (const auto& c : cases) {
    DbError error;
    EXPECT_FALSE(db->Execute(c.statement, error)) << c.statement;
    EXPECT_EQ(error.kind, c.kind) << c.statement << ": " << error.message;
    EXPECT_FALSE(error.outcomeUnknown) << c.statement;
  }
}

TEST_F(PostgresOdbc, CancelStopsARunningStatementAsBusy) {
  // Cancelled once the server runs the statement, as another connection sees it (for up to
  // 15 s): a cancel before it would meet nothing.
  std::atomic<bool> running{false};
  std::thread canceller([&] {
    const Rows one{{"1"}};
    for (int i = 0; i < 300 && !running; ++i) {
      running = OdbcRows(kTestDsn,
                         "SELECT COUNT(*) FROM pg_stat_activity WHERE state = 'active' AND "
                         "query LIKE 'SELECT pg_sleep(20)%' AND pid <> pg_backend_pid()") == one;
      if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    db->Cancel();
  });
  const auto start = std::chrono::steady_clock::now();
  DbError error;
  EXPECT_FALSE(db->Execute("SELECT pg_sleep(20)", error));
  canceller.join();
  EXPECT_TRUE(running) << "the statement was never seen running";
  EXPECT_EQ(error.kind, DbFailure::kBusy) << error.message;
  EXPECT_TRUE(error.outcomeUnknown) << "a cancel can reach the server after its commit";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ExecuteOk(Insert("1", "5"));
}

TEST_F(PostgresOdbc, QueryNumberCountsACallsRows) {
  const SolarDate stamp{"00", "01", "01", "10:00:00"};
  const std::string lookup = BuildCallLookupQuery("1", "5", stamp, ", 'B'");
  DbError error;
  EXPECT_EQ(db->QueryNumber(lookup, error), 0) << error.message;
  ExecuteOk(Insert("1", "5", "B"));
  EXPECT_EQ(db->QueryNumber(lookup, error), 1) << error.message;
  const std::int64_t highest = *db->QueryNumber("SELECT MAX(IdNumber) FROM Pos_Calls", error);
  EXPECT_EQ(db->QueryNumber(BuildCallLookupQuery("1", "5", stamp, ", 'B'", highest - 1), error), 1)
      << error.message;
  EXPECT_EQ(db->QueryNumber(BuildCallLookupQuery("1", "5", stamp, ", 'B'", highest), error), 0)
      << "only the rows numbered above it";
  EXPECT_FALSE(db->QueryNumber("SELECT nothing FROM nowhere", error).has_value());
  EXPECT_EQ(error.kind, DbFailure::kTableMissing);
}

TEST_F(PostgresOdbc, NothingIsExecutedAfterClose) {
  db->Close();
  EXPECT_FALSE(db->Connected());
  std::string error;
  EXPECT_FALSE(db->Execute(Insert("1", "5"), error));
  EXPECT_THAT(error, HasSubstr("not open"));
  ASSERT_TRUE(db->Open(error)) << error;
  ExecuteOk(Insert("1", "5"));
  EXPECT_EQ(Calls().size(), 1u);
}

TEST_F(PostgresOdbc, WrongPasswordFailsWithTheServersMessage) {
  const auto wrong = OpenDatabaseFor(DsnSettings("PosTest", "not-the-password"), "");
  std::string error;
  EXPECT_FALSE(wrong->Open(error));
  EXPECT_FALSE(wrong->Connected());
  EXPECT_THAT(error, HasSubstr("password authentication failed for user \"recorder\""));
}

TEST_F(PostgresOdbc, PasswordIsQuotedForTheConnectionString) {
  // tools/test-postgres gives this login a password with blanks at both ends, ';', '{' and '}'.
  const auto braces = OpenDatabaseFor(DsnSettings("PosTest", " p;w}d{x ", "recorder_braces"), "");
  std::string error;
  EXPECT_TRUE(braces->Open(error)) << error;
  const auto wrong = OpenDatabaseFor(DsnSettings("PosTest", "p;w}d{x", "recorder_braces"), "");
  EXPECT_FALSE(wrong->Open(error));
}

TEST_F(PostgresOdbc, Utf8TextIsStoredExactly) {
  const std::string branch = "\u0634\u0639\u0628\u0647 \u06F1\u06F2";  // "شعبه ۱۲"
  ExecuteOk(Insert("1", "5", branch));
  EXPECT_EQ(Calls(), (Rows{{"1", "1", "5", branch}}));
}

TEST_F(PostgresOdbc, ServerThatIsDownFailsWithAMessage) {
  const auto nowhere = OpenDatabaseFor(DsnSettings("PosNowhere"), "");
  std::string error;
  EXPECT_FALSE(nowhere->Open(error));
  EXPECT_FALSE(nowhere->Connected());
  EXPECT_THAT(error, HasSubstr("Connection refused Is the server running"));
}

}  // namespace
}  // namespace qelto
