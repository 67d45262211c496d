#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "bench/bare_connection.h"
#include "recording/server_config.h"

namespace qelto::bench {

// One database the benchmark measures: how the recorder reaches it (its settings), how the bare
// loop reaches it, and the SQL that sets up its table.
struct BenchTarget {
  std::string name;
  double rowsPerSecondGoal = 0;  // what the writer should reach on it
  ServerConfig settings;         // as the recorder would read them from its settings file
  std::string baseFolder;        // the settings file's folder, for OpenDatabaseFor
  std::function<std::unique_ptr<BareConnection>()> openBare;

  std::string prepare;  // run once before anything else; may be empty
  std::string tidyUp;   // run once at the end; may be empty
  // Run after Pos_Calls was dropped; may be empty. New rows should go to new space at the end of
  // the database, as they do in a table that only grows, not into the space the dropped table
  // left, or an empty table would be written more cheaply than a full one.
  std::string afterDrop;
  std::string createTable;           // Pos_Calls as the recorder finds it, IdNumber its key
  std::string createUnindexedTable;  // Pos_Calls with no index on IdNumber
  // One statement that puts `rows` rows, numbered 1..rows, into an empty Pos_Calls.
  std::function<std::string(std::int64_t rows)> bulkFill;
  std::string afterFill;  // tidies up after the bulk fill; may be empty
  // Makes a connection's commits return without waiting for the disk, which leaves the
  // statement's own work: how that grows with the table is not hidden by the disk's moods.
  std::string unsyncedCommits;
};

// An SQLite file in `workFolder`, reached as "sqlite:PATH".
BenchTarget SqliteTarget(const std::string& workFolder);

struct PostgresAccess {
  std::string dsn;  // the ODBC data source the recorder uses
  std::string user;
  std::string password;
  std::string conninfo;  // libpq connection info of the same server and database
  std::string schema;    // the schema that holds the benchmark's table; the data source must set
                         // it as search_path (psqlODBC: ConnSettings)
};

// A PostgreSQL database reached as "odbc:DSN" by the recorder and by libpq for the bare loop.
// The table lives in a schema of its own, so the benchmark never touches the Pos_Calls of tests
// that share the database; the schema is dropped at the end.
BenchTarget PostgresTarget(const PostgresAccess& access);

}  // namespace qelto::bench
