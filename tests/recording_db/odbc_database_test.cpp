// The ODBC layer where no server is needed: SQL Server through FreeTDS (none runs here, so only
// the ways of failing are tried) and a data source that does not exist.
#include "recording/odbc/odbc_database.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recording/open_database.h"
#include "silent_listener.h"

namespace qelto {
namespace {

using testing::HasSubstr;
using testing_support::ClosedPort;
using testing_support::SilentListener;

ServerConfig SqlServerSettings(const std::string& dataSource) {
  return ParseServerConfig("any\n" + dataSource + "\nShop\n1\nsa\nsecret\n", "Server_Config.dll");
}

std::string LocalPort(std::uint16_t port) {
  return "127.0.0.1," + std::to_string(port);
}

TEST(FreeTdsDatabase, RefusedConnectionFailsWithTheDriversMessage) {
  const auto db = OpenDatabaseFor(SqlServerSettings(LocalPort(ClosedPort())), "");
  std::string error;
  EXPECT_FALSE(db->Open(error));
  EXPECT_FALSE(db->Connected());
  EXPECT_THAT(error, HasSubstr("[FreeTDS][SQL Server]Unable to connect"));
  // FreeTDS reports each attempt; the log gets each message once.
  EXPECT_EQ(error.find("Adaptive Server is unavailable"),
            error.rfind("Adaptive Server is unavailable"));
  error.clear();
  EXPECT_FALSE(db->Execute("SELECT 1", error));
  EXPECT_THAT(error, HasSubstr("not open"));
}

TEST(FreeTdsDatabase, ServerThatNeverAnswersFailsAtTheLoginTimeOut) {
  SilentListener hanging;
  const auto db =
      OpenDatabaseFor(SqlServerSettings(LocalPort(hanging.port())), "",
                      DatabaseTimeouts{std::chrono::seconds(1), std::chrono::seconds(1)});
  std::string error;
  // Without the login time-out this waits as long as the listener lives.
  EXPECT_FALSE(db->Open(error));
  EXPECT_FALSE(db->Connected());
  EXPECT_THAT(error, HasSubstr("[FreeTDS][SQL Server]Timeout expired"));
}

TEST(OdbcDatabase, PostgresThatNeverAnswersFailsAtTheLoginTimeOut) {
  SilentListener hanging;
  OdbcDatabase db("DSN=PosTest;Port=" + std::to_string(hanging.port()) + ";UID=recorder;PWD=pw;",
                  SqlDialect::Standard,
                  DatabaseTimeouts{std::chrono::seconds(1), std::chrono::seconds(1)});
  std::string error;
  // Without the login time-out this waits as long as the listener lives.
  EXPECT_FALSE(db.Open(error));
  EXPECT_FALSE(db.Connected());
  EXPECT_THAT(error, HasSubstr("timeout expired"));
}

TEST(OdbcDatabase, UnknownDataSourceFailsWithTheDriverManagersMessage) {
  OdbcDatabase db("DSN=NoSuchSource;UID=u;", SqlDialect::Standard);
  std::string error;
  EXPECT_FALSE(db.Open(error));
  EXPECT_FALSE(db.Connected());
  EXPECT_THAT(error, HasSubstr("[unixODBC][Driver Manager]Data source name not found"));
}

}  // namespace
}  // namespace qelto
