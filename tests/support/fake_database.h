#pragma once

#include <atomic>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "recording/database.h"

namespace qelto::testing_support {

// A database that records the statements it executes and fails on demand: the whole server can
// be down or busy, or only statements containing a given text can be refused (a value the table
// rejects). Look-ups count the rows of the table that hold the looked-up values. The file can be
// moved away under the connection: the next Open() then finds an empty table. Any operation can
// be made to throw, as a driver may, or to change the fake's state first (see `before`).
class FakeDatabase : public Database {
 public:
  bool Open(std::string& error) override {
    Before("Open");
    ++opens;
    if (serverDown) {
      error = "server unreachable";
      return false;
    }
    if (openButDown) {
      open = false;
      return true;
    }
    if (!movedAway.empty()) {
      table.clear();
      tableIds.clear();
    }
    movedAway.clear();
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
    Before(statement);
    if (!Available(error)) return false;
    if (!refuse.empty() && statement.find(refuse) != std::string::npos) {
      error = {refusalKind, "value too long\nfor column"};
      return false;
    }
    if (statement.rfind("INSERT", 0) == 0) {
      if (keyCollisions > 0) {
        --keyCollisions;
        if (!collisionsOnOtherIndex) ++othersRows;  // another recorder took the number
        error = {DbFailure::kKeyCollision, "duplicate key value violates unique constraint"};
        return false;
      }
      inserts.push_back(statement);
      table.push_back(statement);
      tableIds.push_back(static_cast<std::int64_t>(table.size()) + othersRows);
      if (!moveAfterNextInsert.empty()) movedAway = std::exchange(moveAfterNextInsert, {});
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
    Before(query);
    if (!Available(error)) return std::nullopt;
    if (query.rfind("SELECT MAX(IdNumber)", 0) == 0) {
      return static_cast<std::int64_t>(table.size()) + othersRows;
    }
    lookups.push_back(query);
    const std::int64_t above = WindowOf(query);
    std::int64_t rows = rowsFoundId > above ? rowsFound : 0;
    for (std::size_t i = 0; i < table.size(); ++i) {
      rows += tableIds[i] > above && table[i].find(ValuesOf(query)) != std::string::npos;
    }
    return rows;
  }
  bool AtNamedPlace(std::string& change) override {
    Before("AtNamedPlace");
    change = movedAway;
    return movedAway.empty();
  }
  void Cancel() override { ++cancels; }
  SqlDialect Dialect() const override { return dialect; }

  // Run first by every operation with what it does: "Open", "AtNamedPlace", or the statement
  // or query. It may throw, or change the fake's state before the operation reads it.
  std::function<void(const std::string& doing)> before;
  bool serverDown = false;
  bool openButDown = false;  // Open() succeeds without a connection
  bool busy = false;         // every statement fails as `outage`
  DbError outage{DbFailure::kBusy, "database is locked"};
  // Statements containing this text fail on a working connection, as `refusalKind`.
  std::string refuse;
  DbFailure refusalKind = DbFailure::kRefused;
  // The next INSERT is carried out, but its answer is lost with the connection.
  bool loseAnswerAfterInsert = false;
  std::int64_t rowsFound = 0;  // rows every look-up finds beyond those of `table`
  // ... numbered this: a look-up of the rows numbered above a number finds them only above it.
  std::int64_t rowsFoundId = std::numeric_limits<std::int64_t>::max();
  int keyCollisions = 0;                // the next this many INSERTs find their key taken
  bool collisionsOnOtherIndex = false;  // ... by no one's row: MAX(IdNumber) stands still
  std::int64_t othersRows = 0;          // rows other recorders wrote
  // The file was deleted or replaced (set to what happened); cleared by the next Open().
  std::string movedAway;
  std::string moveAfterNextInsert;  // becomes `movedAway` once the next INSERT is carried out
  SqlDialect dialect = SqlDialect::SqlServer;
  bool open = false;
  int opens = 0;
  int closes = 0;
  std::atomic<int> cancels{0};
  std::vector<std::string> inserts;    // every INSERT carried out
  std::vector<std::string> table;      // those in the file now open
  std::vector<std::int64_t> tableIds;  // their IdNumbers
  std::vector<std::string> lookups;

 private:
  void Before(const std::string& doing) {
    if (before) before(doing);
  }
  bool Available(DbError& error) const {
    if (!open || serverDown) {
      error = {DbFailure::kConnectionLost, "connection lost"};
      return false;
    }
    if (busy) {
      error = outage;
      return false;
    }
    return true;
  }
  // N of a look-up of the rows numbered above N; the lowest number when it looks at every row.
  static std::int64_t WindowOf(const std::string& query) {
    constexpr std::string_view kWindow = "IdNumber > ";
    const std::size_t at = query.find(kWindow);
    if (at == std::string::npos) return std::numeric_limits<std::int64_t>::min();
    return std::stoll(query.substr(at + kWindow.size()));
  }
  // The INSERT's text of the values a look-up asks for: '<line>', '<number>', ... '<time>'.
  static std::string ValuesOf(const std::string& query) {
    std::string values;
    for (std::size_t at = query.find(" = '"); at != std::string::npos;
         at = query.find(" = '", at + 1)) {
      const std::size_t start = at + 3;
      const std::size_t end = query.find('\'', start + 1);
      if (!values.empty()) values += ", ";
      values += query.substr(start, end + 1 - start);
    }
    return values;
  }
};

}  // namespace qelto::testing_support
