#include "recording/sqlite/sqlite_database.h"

#include <sqlite3.h>

#include <utility>

namespace qelto {
namespace {

// The time-out is checked every this many virtual machine steps: often enough to stop within
// milliseconds, seldom enough to cost nothing measurable.
constexpr int kProgressSteps = 1000;

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS Pos_Calls (IdNumber INTEGER PRIMARY KEY, LineNumber TEXT, "
    "TotalNumber TEXT, TarYY TEXT, TarMM TEXT, TarDD TEXT, Time TEXT, BranchCode TEXT)";

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

bool SqliteDatabase::Open(std::string& error) {
  Close();
  if (path_.empty()) {  // SQLite would quietly make a temporary database that vanishes on close
    error = "No SQLite database file is named.";
    return false;
  }
  sqlite3* raw = nullptr;
  const int result =
      sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  db_.reset(raw);  // also after a failure: SQLite may hand out a handle that must be closed
  if (result != SQLITE_OK || !Prepare(error)) {
    if (result != SQLITE_OK) error = Message(result);
    error = "SQLite database \"" + path_ + "\": " + error;
    Close();
    return false;
  }
  return true;
}

// Settings of the connection and the table, made on every open.
bool SqliteDatabase::Prepare(std::string& error) {
  sqlite3_extended_result_codes(db_.get(), 1);
  sqlite3_progress_handler(db_.get(), kProgressSteps, &SqliteDatabase::PastDeadline, this);
  sqlite3_busy_timeout(db_.get(), static_cast<int>(timeouts_.connect.count()));
  if (sqlite3_db_readonly(db_.get(), "main") == 1) {
    error = "the file is read-only";
    return false;
  }
  if (!Run("PRAGMA journal_mode=WAL", timeouts_.connect, error) ||
      !Run(kCreateTable, timeouts_.connect, error)) {
    return false;
  }
  sqlite3_busy_timeout(db_.get(), static_cast<int>(timeouts_.statement.count()));
  return true;
}

bool SqliteDatabase::Execute(const std::string& statement, std::string& error) {
  if (!db_) {
    error = "The database connection is not open.";
    return false;
  }
  return Run(statement, timeouts_.statement, error);
}

bool SqliteDatabase::Run(const std::string& statement, std::chrono::milliseconds limit,
                         std::string& error) {
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  int result = sqlite3_prepare_v2(db_.get(), statement.c_str(),
                                  static_cast<int>(statement.size()) + 1, &raw, &tail);
  Statement prepared(raw);
  if (result != SQLITE_OK) {
    error = Message(result);
    return false;
  }
  if (!prepared) {
    error = "The statement is empty.";
    return false;
  }
  if (!OnlyBlanksAndComments(db_.get(), tail)) {
    error = "Only one statement can be executed at a time; text follows the first one.";
    return false;
  }
  deadline_ = std::chrono::steady_clock::now() + limit;
  do {
    result = sqlite3_step(prepared.get());
  } while (result == SQLITE_ROW);
  deadline_ = {};
  if (result != SQLITE_DONE) {
    error = Message(result);
    if (result == SQLITE_INTERRUPT) {
      error +=
          " (time-out: the statement ran longer than " + std::to_string(limit.count()) + " ms)";
    }
    return false;
  }
  return true;
}

std::string SqliteDatabase::Message(int result) const {
  if (db_ && sqlite3_extended_errcode(db_.get()) == result) return sqlite3_errmsg(db_.get());
  return sqlite3_errstr(result);
}

int SqliteDatabase::PastDeadline(void* self) {
  const auto& deadline = static_cast<SqliteDatabase*>(self)->deadline_;
  return deadline != std::chrono::steady_clock::time_point{} &&
         std::chrono::steady_clock::now() > deadline;
}

}  // namespace qelto
