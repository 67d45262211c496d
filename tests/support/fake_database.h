#pragma once

#include <string>
#include <vector>

#include "recording/database.h"

namespace qelto::testing_support {

// A database that records the statements it executes and fails on demand: the whole server can
// be down, or only statements containing a given text can be refused (a value the table rejects).
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
  bool Execute(const std::string& statement, std::string& error) override {
    if (!open || serverDown) {
      error = "connection lost";
      return false;
    }
    if (!refuse.empty() && statement.find(refuse) != std::string::npos) {
      error = "value too long\nfor column";
      return false;
    }
    if (statement.rfind("INSERT", 0) == 0) inserts.push_back(statement);
    return true;
  }
  SqlDialect Dialect() const override { return dialect; }

  bool serverDown = false;
  std::string refuse;  // statements containing this text fail on a working connection
  SqlDialect dialect = SqlDialect::SqlServer;
  bool open = false;
  int opens = 0;
  int closes = 0;
  std::vector<std::string> inserts;
};

}  // namespace qelto::testing_support
