#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "recording/call_statement.h"
#include "recording/server_config.h"

namespace qelto {

// Which kind of database the settings name. The Data Source line chooses:
//   "sqlite:PATH"  an SQLite database file, the embedded default
//   "odbc:NAME"    the ODBC data source NAME, for any server that has an ODBC driver
//   anything else  a Microsoft SQL Server, reached through an ODBC driver for it: FreeTDS on
//                  Linux, one of Microsoft's own drivers on Windows
// The prefixes are matched without regard to case; what follows them is taken unchanged.
enum class DatabaseKind { Sqlite, OdbcDsn, SqlServer };

// Where and how to connect, taken apart from the settings. Only the fields of the kind are set.
struct DatabaseTarget {
  DatabaseKind kind = DatabaseKind::SqlServer;
  std::string path;      // Sqlite: the file as written; relative paths are the caller's to resolve
  std::string dsn;       // OdbcDsn: the data source name, which also names the database
  std::string server;    // SqlServer: as written, e.g. "(local)", ".\SQLEXPRESS", "host,1433"
  std::string database;  // SqlServer: the Initial Catalog; empty means the login's default
  std::string user;      // OdbcDsn, SqlServer; empty means the data source's own
  std::string password;  // OdbcDsn, SqlServer; empty means none (or the data source's own)
  bool integratedSecurity = true;
};

DatabaseTarget DatabaseTargetFor(const ServerConfig& config);

// SQL Server spells the local machine "(local)" or "."; FreeTDS needs an address. Maps those
// host names, and a leading "tcp:", away and keeps "\instance" and ",port" as they are.
std::string FreeTdsServerName(std::string_view dataSource);

// `value` as an ODBC connection string attribute value: enclosed in braces, with each '}' inside
// doubled, when it holds ';', '{' or '}' or begins or ends with a blank; otherwise unchanged.
std::string OdbcAttributeValue(std::string_view value);

// The ODBC driver that reaches SQL Server on Linux, under the name unixODBC knows it by.
inline constexpr std::string_view kFreeTdsDriverName = "FreeTDS";
// The SQL Server driver that every Windows has.
inline constexpr std::string_view kWindowsSqlServerDriverName = "SQL Server";

// The string for SQLDriverConnect. A data source gets "DSN=NAME;" with UID and PWD when they
// are set. A SQL Server gets the ODBC driver `sqlServerDriver`, the server, the database, and
// either Trusted_Connection (integrated security: a Kerberos or Windows login) or UID and PWD.
// FreeTDS also gets the server as an address (see FreeTdsServerName), protocol version 7.3 (SQL
// Server 2008 and later) and texts as UTF-8; Microsoft's drivers take the server as written, and
// the newer ones ("ODBC Driver NN for SQL Server") are told to encrypt only when the server asks
// and then to trust its certificate, as the shops' servers have none from an authority. Empty for
// an SQLite target.
std::string OdbcConnectionString(const DatabaseTarget& target,
                                 std::string_view sqlServerDriver = kFreeTdsDriverName);

// Of the installed ODBC drivers, the one to reach SQL Server with on Windows: the newest
// "ODBC Driver NN for SQL Server" (highest NN), else "SQL Server", which every Windows has.
std::string PreferredSqlServerDriver(const std::vector<std::string>& installedDrivers);

// ISNULL is SQL Server's alone; every other database gets the standard COALESCE.
SqlDialect DialectOf(DatabaseKind kind);

}  // namespace qelto
