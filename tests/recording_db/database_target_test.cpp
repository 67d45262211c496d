#include "recording/database_target.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qelto {
namespace {

// Settings as the file gives them: a SQL Server login unless `integrated`.
ServerConfig Settings(const std::string& server, const std::string& database = "Shop",
                      bool integrated = false, const std::string& user = "recorder",
                      const std::string& password = "pw") {
  const std::string file = "any\n" + server + "\n" + database + "\n" + (integrated ? "0" : "1") +
                           "\n" + user + "\n" + password + "\n";
  ServerConfig config = ParseServerConfig(file, "/opt/qelto/Server_Config.dll");
  EXPECT_TRUE(config.ok) << config.error;
  return config;
}

struct DataSourceCase {
  std::string dataSource;
  DatabaseKind kind;
  std::string location;  // path, DSN or FreeTDS server name
};

TEST(DatabaseTargetFor, DataSourceChoosesTheBackend) {
  const DataSourceCase cases[] = {
      {"sqlite:calls.db", DatabaseKind::Sqlite, "calls.db"},
      {"SQLite:/var/lib/qelto/calls.db", DatabaseKind::Sqlite, "/var/lib/qelto/calls.db"},
      {"sqlite:my calls;1.db", DatabaseKind::Sqlite, "my calls;1.db"},
      {"sqlite:", DatabaseKind::Sqlite, ""},
      {"odbc:PosTest", DatabaseKind::OdbcDsn, "PosTest"},
      {"ODBC:Shop Data", DatabaseKind::OdbcDsn, "Shop Data"},
      {"(local)", DatabaseKind::SqlServer, "127.0.0.1"},
      {"(LOCAL)", DatabaseKind::SqlServer, "127.0.0.1"},
      {".", DatabaseKind::SqlServer, "127.0.0.1"},
      {".\\SQLEXPRESS", DatabaseKind::SqlServer, "127.0.0.1\\SQLEXPRESS"},
      {"(local)\\POS", DatabaseKind::SqlServer, "127.0.0.1\\POS"},
      {".,1500", DatabaseKind::SqlServer, "127.0.0.1,1500"},
      {"tcp:.,1433", DatabaseKind::SqlServer, "127.0.0.1,1433"},
      {"shop-server\\SQL2019", DatabaseKind::SqlServer, "shop-server\\SQL2019"},
      {"10.0.0.5,1433", DatabaseKind::SqlServer, "10.0.0.5,1433"},
      {".shop", DatabaseKind::SqlServer, ".shop"},
      {"localhost", DatabaseKind::SqlServer, "localhost"},
      {"sqlite", DatabaseKind::SqlServer, "sqlite"},
      {"my-sqlite:x", DatabaseKind::SqlServer, "my-sqlite:x"},
  };
  for (const auto& c : cases) {
    const DatabaseTarget target = DatabaseTargetFor(Settings(c.dataSource));
    EXPECT_EQ(target.kind, c.kind) << c.dataSource;
    const std::string& location = c.kind == DatabaseKind::Sqlite ? target.path
                                  : c.kind == DatabaseKind::OdbcDsn
                                      ? target.dsn
                                      : FreeTdsServerName(target.server);
    EXPECT_EQ(location, c.location) << c.dataSource;
  }
}

struct QuotingCase {
  std::string value;
  std::string quoted;
};

TEST(OdbcAttributeValue, BracesOnlyWhereTheValueWouldEndEarlyOrLoseBlanks) {
  const QuotingCase cases[] = {
      {"", ""},
      {"secret", "secret"},
      {"in side", "in side"},
      {"a=b", "a=b"},
      {"O'B\"x", "O'B\"x"},
      {"a;b", "{a;b}"},
      {"a}b", "{a}}b}"},
      {"}", "{}}}"},
      {"{x", "{{x}"},
      {" lead", "{ lead}"},
      {"trail ", "{trail }"},
      {"x;DRIVER={Evil};", "{x;DRIVER={Evil}};}"},
  };
  for (const auto& c : cases) EXPECT_EQ(OdbcAttributeValue(c.value), c.quoted) << c.value;
}

struct ConnectionStringCase {
  const char* what;
  ServerConfig settings;
  std::string expected;
};

TEST(OdbcConnectionString, SqlServerThroughFreeTds) {
  const ConnectionStringCase cases[] = {
      {"login", Settings(".\\SQLEXPRESS"),
       "DRIVER={FreeTDS};SERVER=127.0.0.1\\SQLEXPRESS;DATABASE=Shop;UID=recorder;PWD=pw;"
       "TDS_Version=7.3;ClientCharset=UTF-8;"},
      {"integrated security", Settings("(local)", "Shop", true),
       "DRIVER={FreeTDS};SERVER=127.0.0.1;DATABASE=Shop;Trusted_Connection=Yes;"
       "TDS_Version=7.3;ClientCharset=UTF-8;"},
      {"no password, no catalogue", Settings("db1", "", false, "sa", ""),
       "DRIVER={FreeTDS};SERVER=db1;UID=sa;TDS_Version=7.3;ClientCharset=UTF-8;"},
      {"values that need braces", Settings("db1", "Shop;Old", false, "sa", " p;w}d"),
       "DRIVER={FreeTDS};SERVER=db1;DATABASE={Shop;Old};UID=sa;PWD={ p;w}}d};"
       "TDS_Version=7.3;ClientCharset=UTF-8;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OdbcConnectionString(DatabaseTargetFor(c.settings)), c.expected) << c.what;
  }
}

TEST(OdbcConnectionString, SqlServerThroughMicrosoftsDrivers) {
  struct Case {
    const char* what;
    ServerConfig settings;
    const char* driver;
    std::string expected;
  };
  const Case cases[] = {
      {"the driver every Windows has, integrated security", Settings("(local)", "Shop", true),
       "SQL Server", "DRIVER={SQL Server};SERVER=(local);DATABASE=Shop;Trusted_Connection=Yes;"},
      {"a named instance, as written", Settings(".\\SQLEXPRESS"), "SQL Server",
       "DRIVER={SQL Server};SERVER=.\\SQLEXPRESS;DATABASE=Shop;UID=recorder;PWD=pw;"},
      {"a newer driver trusts the server's own certificate", Settings("shop-pc,1433"),
       "ODBC Driver 18 for SQL Server",
       "DRIVER={ODBC Driver 18 for SQL Server};SERVER=shop-pc,1433;DATABASE=Shop;UID=recorder;"
       "PWD=pw;Encrypt=No;TrustServerCertificate=Yes;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OdbcConnectionString(DatabaseTargetFor(c.settings), c.driver), c.expected) << c.what;
  }
}

TEST(PreferredSqlServerDriver, NewestMicrosoftDriverElseTheOneEveryWindowsHas) {
  struct Case {
    std::vector<std::string> installed;
    std::string chosen;
  };
  const Case cases[] = {
      {{}, "SQL Server"},
      {{"SQL Server", "Microsoft Access Driver (*.mdb)"}, "SQL Server"},
      {{"SQL Server", "ODBC Driver 17 for SQL Server"}, "ODBC Driver 17 for SQL Server"},
      {{"ODBC Driver 18 for SQL Server", "SQL Server", "ODBC Driver 9 for SQL Server",
        "ODBC Driver 17 for SQL Server"},
       "ODBC Driver 18 for SQL Server"},
      {{"ODBC Driver  for SQL Server", "ODBC Driver x8 for SQL Server",
        "ODBC Driver 18 for SQL Server Preview", "SQL Server Native Client 11.0"},
       "SQL Server"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PreferredSqlServerDriver(c.installed), c.chosen)
        << ::testing::PrintToString(c.installed);
  }
}

TEST(OdbcConnectionString, DataSourceNamesTheDatabaseItself) {
  const ConnectionStringCase cases[] = {
      {"login", Settings("odbc:PosTest"), "DSN=PosTest;UID=recorder;PWD=pw;"},
      {"integrated security", Settings("odbc:PosTest", "Shop", true), "DSN=PosTest;UID=recorder;"},
      {"everything from odbc.ini", Settings("odbc:Shop {A}", "Shop", true, ""), "DSN={Shop {A}}};"},
      {"password with a semicolon", Settings("odbc:PosTest", "Shop", false, "u", "a;PWD=b"),
       "DSN=PosTest;UID=u;PWD={a;PWD=b};"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OdbcConnectionString(DatabaseTargetFor(c.settings)), c.expected) << c.what;
  }
}

TEST(DialectOf, OnlySqlServerGetsIsNull) {
  EXPECT_EQ(DialectOf(DatabaseKind::SqlServer), SqlDialect::SqlServer);
  EXPECT_EQ(DialectOf(DatabaseKind::OdbcDsn), SqlDialect::Standard);
  EXPECT_EQ(DialectOf(DatabaseKind::Sqlite), SqlDialect::Standard);
}

}  // namespace
}  // namespace qelto
