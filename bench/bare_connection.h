#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace qelto::bench {

// A connection straight on a database's own C API, with nothing of the recorder in between: the
// yardstick the writer is measured against, and the tool that sets up and checks the tables.
// Statements run in autocommit, as the recorder's do.
class BareConnection {
 public:
  virtual ~BareConnection() = default;

  // Runs one statement; rows it returns are dropped. False with the database's message.
  virtual bool Execute(const std::string& sql, std::string& error) = 0;
  // The first column of the first row, read as an integer; nullopt with the message on failure.
  virtual std::optional<std::int64_t> QueryNumber(const std::string& sql, std::string& error) = 0;

  // Setup and checks, which must not fail: throw std::runtime_error with the message.
  void Run(const std::string& sql);
  std::int64_t Number(const std::string& sql);
};

// Throws std::runtime_error when the connection cannot be made.
std::unique_ptr<BareConnection> OpenBareSqlite(const std::string& path);
std::unique_ptr<BareConnection> OpenBarePostgres(const std::string& conninfo);

}  // namespace qelto::bench
