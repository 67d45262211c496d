#pragma once

#include <chrono>
#include <string>

#include "recording/call_statement.h"

namespace qelto {

// How long the database may keep the recorder waiting. Opening and writing block the tick of the
// user-interface thread, so a server that went dead must not freeze the program for minutes:
// the customary 15 s to connect and 30 s per statement bound each wait.
struct DatabaseTimeouts {
  std::chrono::milliseconds connect{15000};
  std::chrono::milliseconds statement{30000};
};

// The recorder's connection to the database that holds Pos_Calls. One object is one connection;
// all calls come from one thread.
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

  // Ends the connection. Harmless when it is not open.
  virtual void Close() = 0;

  // Executes one SQL statement that returns no rows (rows it does return are dropped) and
  // commits it. On failure returns false and sets `error` to the database's message text; the
  // connection stays open, the caller decides whether to close it.
  virtual bool Execute(const std::string& statement, std::string& error) = 0;

  // The SQL dialect this database understands, for building the statements it is given.
  virtual SqlDialect Dialect() const = 0;
};

}  // namespace qelto
