#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "recording/database.h"
#include "recording/sqlite/database_file.h"

struct sqlite3;

namespace qelto {

// An SQLite database file, the recorder's embedded default. Open() creates the file (readable by
// its owner only) and the table Pos_Calls when they are missing; a table dropped while connected
// is made again when a statement misses it. The file is kept in write-ahead-log mode, so a reader
// (a report of the shop's software, say) neither blocks the recorder nor is blocked by it.
//
// A file moved away while open (archived by renaming, or replaced by a restored backup) keeps
// every row written into it: closing puts them into that file first, and opening the path again
// leaves the moved file's -wal and -shm out of the file now there.
class SqliteDatabase : public Database {
 public:
  // `path` as the operating system takes it, already resolved against the settings file's folder.
  explicit SqliteDatabase(std::string path, DatabaseTimeouts timeouts = {});
  ~SqliteDatabase() override;

  bool Open(std::string& error) override;
  bool Connected() const override { return db_ != nullptr; }
  // False when the file at the path is no longer the one opened: deleted, or replaced by another.
  bool AtNamedPlace(std::string& change) override;
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

  // Whether the file the connection was opened on is no longer the one at the path.
  bool MovedAway() const;
  // Puts what the connection held by `moved_` wrote into the moved file and closes it, then takes
  // the moved file's -wal and -shm away from the path. Keeps `moved_` while another program holds
  // that up, unless `finally`: then the rows not yet in the moved file are given up rather than
  // left to be replayed onto the file at the path.
  void LetGoOfMovedFile(bool finally);
  bool Prepare(std::string& error);
  // After a statement missed the table: makes it again, and tells so in `error`.
  void MakeTableWhenMissing(DbError& error);
  // Runs one statement to its end within `limit`; false with SQLite's message on failure. With
  // `number`, the first column of the first row is stored there (0 without a row).
  bool Run(const std::string& statement, std::chrono::milliseconds limit, DbError& error,
           std::int64_t* number = nullptr);
  DbError Failure(int result) const;
  std::string Message(int result) const;
  static int PastDeadline(void* self);
  static int WaitWhileBusy(void* self, int attempts);

  std::string path_;
  DatabaseTimeouts timeouts_;
  std::mutex connectionLock_;  // keeps Cancel(), from another thread, off a closing connection
  Connection db_;
  std::optional<FileIdentity> opened_;  // the file the connection was opened on, when known
  // The -wal and -shm files beside it when it was opened: the moved file's, once it has moved.
  std::optional<FileIdentity> openedWal_, openedShm_;
  Connection moved_;     // on a moved file, until what it wrote is all in that file
  int movedResult_ = 0;  // why `moved_` is still held
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> stepping_{false};  // a statement is being stepped: an interrupt can reach it
};

}  // namespace qelto
