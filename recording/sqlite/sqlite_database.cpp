#include "recording/sqlite/sqlite_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <thread>
#include <utility>

namespace qelto {
namespace {

// The time-out is checked every this many virtual machine steps: often enough to stop within
// milliseconds, seldom enough to cost nothing measurable.
constexpr int kProgressSteps = 1000;

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS Pos_Calls (IdNumber INTEGER PRIMARY KEY, LineNumber TEXT, "
    "TotalNumber TEXT, TarYY TEXT, TarMM TEXT, TarDD TEXT, Time TEXT, BranchCode TEXT)";
// No index of our own: the look-up before a second INSERT of a call searches only the rows
// numbered since its INSERT was sent, through the key; an index on the call's values would cost
// every INSERT a third of its time. The index Pos_Calls_Call that earlier versions made stays in
// the files that have it: the shop's own queries may use it.

// What an SQLite result code says about a failure: the primary code, without its extension,
// except for a key that is taken.
DbFailure Classify(int result) {
  if (result == SQLITE_CONSTRAINT_PRIMARYKEY || result == SQLITE_CONSTRAINT_UNIQUE) {
    return DbFailure::kKeyCollision;
  }
  switch (result & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_NOMEM:
    case SQLITE_INTERRUPT:  // a time-out or a cancel
    case SQLITE_PROTOCOL:
      return DbFailure::kBusy;
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
    case SQLITE_ERROR:
    case SQLITE_RANGE:
      return DbFailure::kRefused;
    default:  // the file is gone, unreadable or damaged: open it anew
      return DbFailure::kConnectionLost;
  }
}

// SQLite tells a missing table or column only in its message, as a general error.
bool MissesTableOrColumn(const std::string& message) {
  for (const char* missing : {"no such table", "no such column", "has no column named"}) {
    if (message.find(missing) != std::string::npos) return true;
  }
  return false;
}

struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

bool OnlyBlanksAndComments(sqlite3* db, const char* text) {
  sqlite3_stmt* raw = nullptr;
  const int result = sqlite3_prepare_v2(db, text, -1, &raw, nullptr);
  Statement rest(raw);
  return result == SQLITE_OK && rest == nullptr;
}

}  // namespace

void SqliteDatabase::CloseConnection::operator()(sqlite3* db) const {
  sqlite3_close_v2(db);
}

SqliteDatabase::SqliteDatabase(std::string path, DatabaseTimeouts timeouts)
    : path_(std::move(path)), timeouts_(timeouts) {}

SqliteDatabase::~SqliteDatabase() {
  Close();
  if (moved_) LetGoOfMovedFile(true);
}

bool SqliteDatabase::Open(std::string& error) {
  Close();
  if (moved_) {
    error = "SQLite database \"" + path_ +
            "\" was moved away or replaced while in use, and the rows written into it are not all "
            "in it yet (" +
            sqlite3_errstr(movedResult_) +
            ((movedResult_ & 0xff) == SQLITE_BUSY ? ": another program reads it" : "") +
            "); the file at its place is opened once they are";
    return false;
  }
  if (path_.empty()) {  // SQLite would quietly make a temporary database that vanishes on close
    error = "No SQLite database file is named.";
    return false;
  }
  CreateOwnerOnlyFile(path_);  // the calls' numbers are the shop's customers: no one else's
  sqlite3* raw = nullptr;
  const int result =
      sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  {
    std::lock_guard guard(connectionLock_);
    db_.reset(raw);  // also after a failure: SQLite may hand out a handle that must be closed
  }
  if (result != SQLITE_OK || !Prepare(error)) {
    if (result != SQLITE_OK) error = Message(result);
    error = "SQLite database \"" + path_ + "\": " + error;
    Close();
    return false;
  }
  opened_ = IdentifyFile(path_);
  if (OpenFilesCanBeReplaced()) {
    openedWal_ = IdentifyFile(path_ + "-wal");
    openedShm_ = IdentifyFile(path_ + "-shm");
  }
  return true;
}

bool SqliteDatabase::AtNamedPlace(std::string& change) {
  if (!db_ || !opened_ || !OpenFilesCanBeReplaced()) return true;
  const std::optional<FileIdentity> now = IdentifyFile(path_);
  if (now == opened_) return true;
  change = "SQLite database \"" + path_ + "\" was " +
           (now ? "replaced by another file while in use; it is opened again at its place"
                : "moved away or deleted while in use; a moved file keeps the rows written into "
                  "it, and the file is made again at its place");
  return false;
}

bool SqliteDatabase::MovedAway() const {
  return opened_ && OpenFilesCanBeReplaced() && IdentifyFile(path_) != opened_;
}

// Until a checkpoint puts them into the database file, the rows a connection wrote lie in the
// -wal file beside the path. SQLite neither checkpoints nor deletes that -wal when it closes a
// file that was moved away, and opening the path again would replay it onto the file now there:
// an archive made by renaming would lack its latest rows, a restored backup would be damaged or
// silently undone. So the connection that still holds the moved file (and that -wal) puts them
// into it first; a reader of another program can hold that up, and a restored file's own -wal and
// -shm, or another program's, are left alone.
void SqliteDatabase::LetGoOfMovedFile(bool finally) {
  deadline_ = std::chrono::steady_clock::now() +
              (finally ? std::chrono::milliseconds(0) : timeouts_.connect);
  movedResult_ = sqlite3_wal_checkpoint_v2(moved_.get(), nullptr, SQLITE_CHECKPOINT_TRUNCATE,
                                           nullptr, nullptr);
  deadline_ = {};
  if (movedResult_ != SQLITE_OK && Classify(movedResult_) == DbFailure::kBusy && !finally) return;
  // Removed while still held open, so that no new file can have taken their identities yet.
  if (openedWal_) RemoveSameFile(path_ + "-wal", *openedWal_);
  if (openedShm_) RemoveSameFile(path_ + "-shm", *openedShm_);
  moved_.reset();
  openedWal_.reset();
  openedShm_.reset();
}

// Settings of the connection and the table, made on every open.
bool SqliteDatabase::Prepare(std::string& error) {
  sqlite3_extended_result_codes(db_.get(), 1);
  sqlite3_progress_handler(db_.get(), kProgressSteps, &SqliteDatabase::PastDeadline, this);
  // Our own busy wait instead of sqlite3_busy_timeout: it also ends at once on Cancel().
  sqlite3_busy_handler(db_.get(), &SqliteDatabase::WaitWhileBusy, this);
  if (sqlite3_db_readonly(db_.get(), "main") == 1) {
    error = "the file is read-only";
    return false;
  }
  DbError failure;
  for (const char* statement : {"PRAGMA journal_mode=WAL", kCreateTable}) {
    if (!Run(statement, timeouts_.connect, failure)) {
      error = failure.message;
      return false;
    }
  }
  return true;
}

bool SqliteDatabase::Execute(const std::string& statement, DbError& error) {
  if (!db_) {
    error = {DbFailure::kConnectionLost, "The database connection is not open."};
    return false;
  }
  if (Run(statement, timeouts_.statement, error)) return true;
  MakeTableWhenMissing(error);
  return false;
}

std::optional<std::int64_t> SqliteDatabase::QueryNumber(const std::string& query, DbError& error) {
  if (!db_) {
    error = {DbFailure::kConnectionLost, "The database connection is not open."};
    return std::nullopt;
  }
  std::int64_t number = 0;
  if (Run(query, timeouts_.statement, error, &number)) return number;
  MakeTableWhenMissing(error);
  return std::nullopt;
}

// The statement that missed the table still fails: the writer counts it as an outage and tries
// again, into the new table, on its next wake.
void SqliteDatabase::MakeTableWhenMissing(DbError& error) {
  if (error.kind != DbFailure::kTableMissing ||
      error.message.find("no such table: Pos_Calls") == std::string::npos) {
    return;
  }
  DbError failure;
  if (!Run(kCreateTable, timeouts_.statement, failure)) {
    error.message += "; the table cannot be made again: " + failure.message;
    return;
  }
  error.message += "; the table is made again";
}

void SqliteDatabase::Cancel() {
  cancelled_ = true;
  std::lock_guard guard(connectionLock_);
  // An interrupt sent between statements stays pending and would cut short the checkpoint that
  // closing runs, leaving the latest calls in the -wal file beside the database: a copy of the
  // database file alone, taken with the recorder stopped, would miss them. A statement that
  // starts after this sees `cancelled_` through the progress and busy handlers instead.
  if (db_ && stepping_) sqlite3_interrupt(db_.get());
}

void SqliteDatabase::Close() {
  Connection closing;
  {
    std::lock_guard guard(connectionLock_);
    closing = std::move(db_);
  }
  if (closing && MovedAway()) moved_ = std::move(closing);
  closing.reset();
  opened_.reset();
  if (moved_) LetGoOfMovedFile(false);
}

bool SqliteDatabase::Run(const std::string& statement, std::chrono::milliseconds limit,
                         DbError& error, std::int64_t* number) {
  cancelled_ = false;
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  int result = sqlite3_prepare_v2(db_.get(), statement.c_str(),
                                  static_cast<int>(statement.size()) + 1, &raw, &tail);
  Statement prepared(raw);
  if (result != SQLITE_OK) {
    error = Failure(result);
    return false;
  }
  if (!prepared) {
    error = {DbFailure::kRefused, "The statement is empty."};
    return false;
  }
  if (!OnlyBlanksAndComments(db_.get(), tail)) {
    error = {DbFailure::kRefused,
             "Only one statement can be executed at a time; text follows the first one."};
    return false;
  }
  deadline_ = std::chrono::steady_clock::now() + limit;
  if (number != nullptr) *number = 0;
  bool first = true;
  stepping_ = true;
  do {
    result = sqlite3_step(prepared.get());
    if (result == SQLITE_ROW && first && number != nullptr) {
      *number = sqlite3_column_int64(prepared.get(), 0);
    }
    first = false;
  } while (result == SQLITE_ROW);
  stepping_ = false;
  deadline_ = {};
  if (result != SQLITE_DONE) {
    error = Failure(result);
    if (result == SQLITE_INTERRUPT) {
      error.message += cancelled_ ? " (cancelled)"
                                  : " (time-out: the statement ran longer than " +
                                        std::to_string(limit.count()) + " ms)";
    }
    return false;
  }
  return true;
}

DbError SqliteDatabase::Failure(int result) const {
  DbError error{Classify(result), Message(result)};
  if (error.kind == DbFailure::kRefused && MissesTableOrColumn(error.message)) {
    error.kind = DbFailure::kTableMissing;
  }
  // A failed statement is rolled back, unless the file failed under it while it committed.
  error.outcomeUnknown =
      error.kind == DbFailure::kConnectionLost || (result & 0xff) == SQLITE_IOERR;
  return error;
}

std::string SqliteDatabase::Message(int result) const {
  if (db_ && sqlite3_extended_errcode(db_.get()) == result) return sqlite3_errmsg(db_.get());
  return sqlite3_errstr(result);
}

int SqliteDatabase::PastDeadline(void* self) {
  const auto& db = *static_cast<SqliteDatabase*>(self);
  return db.cancelled_ || (db.deadline_ != std::chrono::steady_clock::time_point{} &&
                           std::chrono::steady_clock::now() > db.deadline_);
}

int SqliteDatabase::WaitWhileBusy(void* self, int attempts) {
  if (PastDeadline(self) != 0) return 0;
  // Short naps first, so a brief lock costs little; then every 50 ms.
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(1 + attempts, 50)));
  return 1;
}

}  // namespace qelto
