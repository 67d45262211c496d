#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "recording/database.h"

namespace qelto {

// A database reached through unixODBC: a data source defined in odbc.ini, or a driver named in
// the connection string (FreeTDS for SQL Server). Statements run with autocommit, each on a
// statement handle of its own. Failures carry the text of the ODBC diagnostic records, such as
// "[FreeTDS][SQL Server]Unable to connect to data source".
class OdbcDatabase : public Database {
 public:
  // `connectionString` goes to SQLDriverConnect unchanged. `dialect` is that of the server the
  // string leads to, which the string alone cannot tell for a data source.
  OdbcDatabase(std::string connectionString, SqlDialect dialect, DatabaseTimeouts timeouts = {});
  ~OdbcDatabase() override;
  OdbcDatabase(const OdbcDatabase&) = delete;
  OdbcDatabase& operator=(const OdbcDatabase&) = delete;

  bool Open(std::string& error) override;
  // Also false once the driver has noticed that the link is dead (SQL_ATTR_CONNECTION_DEAD).
  bool Connected() const override;
  void Close() override;
  using Database::Execute;
  bool Execute(const std::string& statement, DbError& error) override;
  std::optional<std::int64_t> QueryNumber(const std::string& query, DbError& error) override;
  // SQLCancel on the statement that runs; a connection attempt is bounded by its login time-out.
  void Cancel() override;
  SqlDialect Dialect() const override { return dialect_; }

 private:
  class Connection;  // the environment and connection handles, connected

  std::string connectionString_;
  SqlDialect dialect_;
  DatabaseTimeouts timeouts_;
  // Replaced only on the writer's thread; the lock keeps Cancel(), from another thread, off a
  // connection that is being freed.
  std::mutex connectionLock_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace qelto
