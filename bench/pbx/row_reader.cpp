#include "row_reader.h"

namespace qelto::bench {

RowReader::~RowReader() {
  ::sqlite3_finalize(next_);
  ::sqlite3_close(db_);
}

bool RowReader::Open() {
  if (next_ != nullptr) return true;
  if (db_ == nullptr) {
    if (::sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      ::sqlite3_close(db_);
      db_ = nullptr;
      return false;
    }
    ::sqlite3_busy_timeout(db_, 1000);
    ::sqlite3_exec(db_, "PRAGMA cache_size = -256", nullptr, nullptr, nullptr);
  }
  return ::sqlite3_prepare_v2(db_,
                              "SELECT IdNumber, TotalNumber FROM Pos_Calls WHERE IdNumber > ?1 "
                              "ORDER BY IdNumber LIMIT 2000",
                              -1, &next_, nullptr) == SQLITE_OK;
}

std::size_t RowReader::Poll(const std::function<void(std::string_view number)>& row) {
  if (!Open()) return 0;
  std::size_t rows = 0;
  ::sqlite3_bind_int64(next_, 1, last_id_);
  while (::sqlite3_step(next_) == SQLITE_ROW) {
    last_id_ = ::sqlite3_column_int64(next_, 0);
    const auto* number = reinterpret_cast<const char*>(::sqlite3_column_text(next_, 1));
    row(number == nullptr ? std::string_view() : std::string_view(number));
    ++rows;
  }
  ::sqlite3_reset(next_);
  return rows;
}

std::int64_t RowReader::Count() {
  sqlite3_stmt* count = nullptr;
  std::int64_t rows = -1;
  if (Open() &&
      ::sqlite3_prepare_v2(db_, "SELECT count(*) FROM Pos_Calls", -1, &count, nullptr) ==
          SQLITE_OK &&
      ::sqlite3_step(count) == SQLITE_ROW) {
    rows = ::sqlite3_column_int64(count, 0);
  }
  ::sqlite3_finalize(count);
  return rows;
}

}  // namespace qelto::bench
