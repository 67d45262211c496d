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

void SqliteBackup(const std::string& from, const std::string& to) {
  sqlite3* rawSource = nullptr;
  sqlite3* rawTarget = nullptr;
  const int sourceOpened = sqlite3_open_v2(from.c_str(), &rawSource, SQLITE_OPEN_READONLY, nullptr);
  const std::unique_ptr<sqlite3, CloseDb> source(rawSource);
  const int targetOpened =
      sqlite3_open_v2(to.c_str(), &rawTarget, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  const std::unique_ptr<sqlite3, CloseDb> target(rawTarget);
  if (sourceOpened != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(source.get()));
  if (targetOpened != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(target.get()));
  sqlite3_backup* backup = sqlite3_backup_init(target.get(), "main", source.get(), "main");
  if (backup == nullptr) throw std::runtime_error(sqlite3_errmsg(target.get()));
  while (sqlite3_backup_step(backup, -1) == SQLITE_OK) {
  }
  if (sqlite3_backup_finish(backup) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(target.get()));
  }
}

}  // namespace qelto::testing_support
