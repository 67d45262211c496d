#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
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
  void Close() override;
  // Takes exactly one statement: text after the first one is refused, not run.
  using Database::Execute;
  bool Execute(const std::string& statement, DbError& error) override;
  std::optional<std::int64_t> QueryNumber(const std::string& query, DbError& error) override;
  // Interrupts the statement that runs, busy waits included.
  void Cancel() override;
  SqlDialect Dialect() const override { return SqlDialect::Standard; }

 private:
  struct CloseConnection {
    void operator()(sqlite3* db) const;
  };
  using Connection = std::unique_ptr<sqlite3, CloseConnection>;

  bool Prepare(std::string& error);
  // Runs one statement to its end within `limit`; false with SQLite's message on failure. With
  // `number`, the first column of the first row is stored there (0 without a row).
  bool Run(const std::string& statement, std::chrono::milliseconds limit, DbError& error,
           std::int64_t* number = nullptr);
  std::string Message(int result) const;
  static int PastDeadline(void* self);
  static int WaitWhileBusy(void* self, int attempts);

  std::string path_;
  DatabaseTimeouts timeouts_;
  std::mutex connectionLock_;  // keeps Cancel(), from another thread, off a closing connection
  Connection db_;
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> stepping_{false};  // a statement is being stepped: an interrupt can reach it
};

}  // namespace qelto
