#include "bench/bench_target.h"

#include <filesystem>

namespace qelto::bench {
namespace {

constexpr const char* kColumns = "(IdNumber, LineNumber, TotalNumber, TarYY, TarMM, TarDD, Time)";

// The settings file of five or six lines that names the database; no branch code.
ServerConfig SettingsFor(const std::string& dataSource, const std::string& user = "",
                         const std::string& password = "") {
  const std::string content =
      user.empty() ? "bench\n" + dataSource + "\n\n\n\n"
                   : "bench\n" + dataSource + "\nshop\n1\n" + user + "\n" + password + "\n";
  return ParseServerConfig(content, "Server_Config.dll");
}

}  // namespace

BenchTarget SqliteTarget(const std::string& workFolder) {
  const std::string path = (std::filesystem::path(workFolder) / "calls.sqlite").string();
  BenchTarget target;
  target.name = "SQLite";
  target.rowsPerSecondGoal = 2000;
  target.settings = SettingsFor("sqlite:" + path);
  target.baseFolder = workFolder;
  target.openBare = [path] { return OpenBareSqlite(path); };
  target.afterDrop = "VACUUM";
  target.unsyncedCommits = "PRAGMA synchronous=OFF";
  // The recorder's own table, as it creates it in a new file: keyed by IdNumber, no other index.
  target.createTable =
      "CREATE TABLE Pos_Calls (IdNumber INTEGER PRIMARY KEY, LineNumber TEXT, TotalNumber TEXT, "
      "TarYY TEXT, TarMM TEXT, TarDD TEXT, Time TEXT, BranchCode TEXT)";
  target.createUnindexedTable =
      "CREATE TABLE Pos_Calls (IdNumber INTEGER, LineNumber TEXT, TotalNumber TEXT, TarYY TEXT, "
      "TarMM TEXT, TarDD TEXT, Time TEXT, BranchCode TEXT)";
  target.bulkFill = [](std::int64_t rows) {
    return "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
           std::to_string(rows) + ") INSERT INTO Pos_Calls " + kColumns +
           " SELECT i, '1', '0912' || i, '04', '01', '01', '10:00:00' FROM n";
  };
  // No afterFill: truncating the write-ahead log here would make every later commit grow the file
  // again, which a file in daily use, whose log is reused from its start, does not do.
  return target;
}

BenchTarget PostgresTarget(const PostgresAccess& access) {
  BenchTarget target;
  target.name = "PostgreSQL (ODBC)";
  target.rowsPerSecondGoal = 1000;
  target.settings = SettingsFor("odbc:" + access.dsn, access.user, access.password);
  const std::string conninfo = access.conninfo + " options='-c search_path=" + access.schema + "'";
  target.openBare = [conninfo] { return OpenBarePostgres(conninfo); };
  target.prepare = "CREATE SCHEMA IF NOT EXISTS " + access.schema;
  target.tidyUp = "DROP SCHEMA " + access.schema + " CASCADE";
  target.createTable =
      "CREATE TABLE Pos_Calls (IdNumber integer PRIMARY KEY, LineNumber varchar(10), "
      "TotalNumber varchar(50), TarYY varchar(2), TarMM varchar(2), TarDD varchar(2), "
      "Time varchar(8), BranchCode varchar(50))";
  target.createUnindexedTable =
      "CREATE TABLE Pos_Calls (IdNumber integer, LineNumber varchar(10), "
      "TotalNumber varchar(50), TarYY varchar(2), TarMM varchar(2), TarDD varchar(2), "
      "Time varchar(8), BranchCode varchar(50))";
  target.bulkFill = [](std::int64_t rows) {
    return std::string("INSERT INTO Pos_Calls ") + kColumns +
           " SELECT g, '1', '0912' || g, '04', '01', '01', '10:00:00' FROM generate_series(1, " +
           std::to_string(rows) + ") AS g";
  };
  // Leaves autovacuum nothing to do on the new rows while the measurement runs.
  target.afterFill = "VACUUM ANALYZE Pos_Calls";
  target.unsyncedCommits = "SET synchronous_commit TO off";
  return target;
}

}  // namespace qelto::bench
