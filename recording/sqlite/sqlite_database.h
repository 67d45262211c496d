#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "recording/database.h"

struct sqlite3;

namespace qelto {

// An SQLite database file, the recorder's embedded default. Open() creates the file and the table
// Pos_Calls when they are missing. The file is kept in write-ahead-log mode, so a reader (a report
// of the shop's software, say) neither blocks the recorder nor is blocked by it.
class SqliteDatabase : public Database {
 public:
  // `path` as the operating system takes it, already resolved against the settings file's folder.
  explicit SqliteDatabase(std::string path, DatabaseTimeouts timeouts = {});

  bool Open(std::string& error) override;
  bool Connected() const override { return db_ != nullptr; }
  void Close() override { db_.reset(); }
  // Takes exactly one statement: text after the first one is refused, not run.
  bool Execute(const std::string& statement, std::string& error) override;
  SqlDialect Dialect() const override { return SqlDialect::Standard; }

 private:
  struct CloseConnection {
    void operator()(sqlite3* db) const;
  };
  using Connection = std::unique_ptr<sqlite3, CloseConnection>;

  bool Prepare(std::string& error);
  // Runs one statement to its end within `limit`; false with SQLite's message on failure.
  bool Run(const std::string& statement, std::chrono::milliseconds limit, std::string& error);
  std::string Message(int result) const;
  static int PastDeadline(void* self);

  std::string path_;
  DatabaseTimeouts timeouts_;
  Connection db_;
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace qelto
