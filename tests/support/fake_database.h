#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "recording/database.h"

namespace qelto::testing_support {

// A database that records the statements it executes and fails on demand: the whole server can
// be down or busy, or only statements containing a given text can be refused (a value the table
// rejects). Look-ups count the INSERTs that contained the looked-up values.
class FakeDatabase : public Database {
 public:
  bool Open(std::string& error) override {
    ++opens;
    if (serverDown) {
      error = "server unreachable";
      return false;
    }
    open = true;
    return true;
  }
  bool Connected() const override { return open; }
  void Close() override {
    open = false;
    ++closes;
  }
  using Database::Execute;
  bool Execute(const std::string& statement, DbError& error) override {
    if (!Available(error)) return false;
    if (!refuse.empty() && statement.find(refuse) != std::string::npos) {
      error = {refusalKind, "value too long\nfor column"};
      return false;
    }
    if (statement.rfind("INSERT", 0) == 0) {
      inserts.push_back(statement);
      if (loseAnswerAfterInsert) {
        loseAnswerAfterInsert = false;
        serverDown = true;
        error = {DbFailure::kConnectionLost, "connection lost"};
        return false;
      }
    }
    return true;
  }
  std::optional<std::int64_t> QueryNumber(const std::string& query, DbError& error) override {
    lookups.push_back(query);
    if (!Available(error)) return std::nullopt;
    return rowsFound;
  }
  void Cancel() override { ++cancels; }
  SqlDialect Dialect() const override { return dialect; }

  bool serverDown = false;
  bool busy = false;  // every statement fails as "database is locked"
  // Statements containing this text fail on a working connection, as `refusalKind`.
  std::string refuse;
  DbFailure refusalKind = DbFailure::kRefused;
  // The next INSERT is carried out, but its answer is lost with the connection.
  bool loseAnswerAfterInsert = false;
  std::int64_t rowsFound = 0;  // what every look-up answers
  SqlDialect dialect = SqlDialect::SqlServer;
  bool open = false;
  int opens = 0;
  int closes = 0;
  std::atomic<int> cancels{0};
  std::vector<std::string> inserts;
  std::vector<std::string> lookups;

 private:
  bool Available(DbError& error) const {
    if (!open || serverDown) {
      error = {DbFailure::kConnectionLost, "connection lost"};
      return false;
    }
    if (busy) {
      error = {DbFailure::kBusy, "database is locked"};
      return false;
    }
    return true;
  }
};

}  // namespace qelto::testing_support
