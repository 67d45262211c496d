#include "sqlite_rows.h"

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

namespace qelto::testing_support {
namespace {

struct CloseDb {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct Finalize {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

}  // namespace

Rows SqliteRows(const std::string& path, const std::string& query) {
  sqlite3* rawDb = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &rawDb, SQLITE_OPEN_READONLY, nullptr);
  const std::unique_ptr<sqlite3, CloseDb> db(rawDb);
  sqlite3_stmt* rawStatement = nullptr;
  if (opened != SQLITE_OK ||
      sqlite3_prepare_v2(db.get(), query.c_str(), -1, &rawStatement, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(db.get()));
  }
  const std::unique_ptr<sqlite3_stmt, Finalize> statement(rawStatement);
  Rows rows;
  int result = SQLITE_OK;
  while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
    auto& row = rows.emplace_back();
    for (int column = 0; column < sqlite3_column_count(statement.get()); ++column) {
      const auto* text = sqlite3_column_text(statement.get(), column);
      row.emplace_back(text == nullptr ? "<NULL>" : reinterpret_cast<const char*>(text));
    }
  }
  if (result != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db.get()));
  return rows;
}

}  // namespace qelto::testing_support
