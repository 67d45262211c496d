#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "recording/call_statement.h"

namespace qelto {

// How long the database may keep the recorder's writer waiting: the customary 15 s to connect and
// 30 s per statement. The writer has a thread of its own, so these bound how stale its state can
// get, not how long the window freezes; a stop cancels what it can at once.
struct DatabaseTimeouts {
  std::chrono::milliseconds connect{15000};
  std::chrono::milliseconds statement{30000};
};

// Why a statement failed; decides what becomes of the call it carried.
enum class DbFailure {
  kConnectionLost,  // the link to the server is gone: close, reconnect later, keep the call
  kBusy,            // the server is busy or short of something (locked, disk full, out of memory,
                    // time-out, cancelled): keep the call at the front and try again soon
  kRefused,         // the server refuses this statement (data, constraint, syntax): the call's
                    // own fault, which may set it aside
  kKeyCollision,    // a unique key was taken: another recorder on the same table numbered its
                    // row between our MAX(IdNumber) and our INSERT; the statement, run again,
                    // numbers afresh
  kTableMissing,    // the table or one of its columns is not there (renamed, dropped, still
                    // being made): an outage of the database, not a fault of the call
  kUnknown,         // the database did not say; the writer asks the server whether it answers
};

struct DbError {
  DbFailure kind = DbFailure::kUnknown;
  std::string message;  // the database's own text, fit for the activity log
  // The statement was cut short (a time-out, a cancel) at a point where the server may still have
  // carried it out. A failure that certainly changed nothing (a lock, a full disk, a refusal)
  // leaves it false; a lost connection always leaves the outcome open.
  bool outcomeUnknown = false;
};

// The recorder's connection to the database that holds Pos_Calls. One object is one connection;
// all calls come from the writer's thread, except Cancel().
class Database {
 public:
  virtual ~Database() = default;

  // Connects without ever asking the user anything. True when the connection is up afterwards.
  // On failure returns false, leaves the connection closed and sets `error` to the database's
  // own message text, fit for the activity log. Opening an open connection first closes it.
  virtual bool Open(std::string& error) = 0;

  // Whether the connection is up as far as this side knows: true after a successful Open()
  // until Close(), false at once if the driver already knows the link died. Never asks the
  // server, so it is cheap and never blocks.
  virtual bool Connected() const = 0;

  // Whether the connection still writes where the settings point. A database file deleted or
  // replaced while it is open keeps taking rows that nobody will ever read; false then, with
  // `change` telling what became of it. A server has nothing to check: true. Cheap (a look at the
  // file system at most); called before every batch of writes and after every written row.
  virtual bool AtNamedPlace(std::string& change) {
    (void)change;
    return true;
  }

  // Ends the connection. Harmless when it is not open.
  virtual void Close() = 0;

  // Executes one SQL statement that returns no rows (rows it does return are dropped) and
  // commits it. On failure returns false and describes it in `error`; the connection stays open,
  // the caller decides whether to close it.
  virtual bool Execute(const std::string& statement, DbError& error) = 0;
  bool Execute(const std::string& statement, std::string& error) {
    DbError failure;
    const bool done = Execute(statement, failure);
    if (!done) error = std::move(failure.message);
    return done;
  }

  // Runs one query and returns the integer in the first column of its first row (0 when it
  // returns no row). nullopt on failure, described in `error`.
  virtual std::optional<std::int64_t> QueryNumber(const std::string& query, DbError& error) = 0;

  // Asks a statement running on the writer's thread to stop as soon as it can, which then fails
  // as kBusy. Callable from any thread, at any time; harmless when nothing runs. A connection
  // attempt may not be cancellable: its own time-out bounds it.
  virtual void Cancel() = 0;

  // The SQL dialect this database understands, for building the statements it is given.
  virtual SqlDialect Dialect() const = 0;
};

}  // namespace qelto
