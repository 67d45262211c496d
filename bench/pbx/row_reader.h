#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qelto::bench {

// The rows the recorder adds to its SQLite file, read as another program reads them: each new
// row once, in the order of IdNumber. Holds little of the file in memory, so the bench's own
// resident memory stays flat as the table grows.
class RowReader {
 public:
  explicit RowReader(std::string path) : path_(std::move(path)) {}
  ~RowReader();
  RowReader(const RowReader&) = delete;
  RowReader& operator=(const RowReader&) = delete;

  // Hands each row added since the last call to `row` (its TotalNumber); the number of rows.
  // None while the file or its table is not there yet.
  std::size_t Poll(const std::function<void(std::string_view number)>& row);
  // All rows of the table, counted afresh; -1 when it cannot be read.
  std::int64_t Count();

 private:
  bool Open();

  std::string path_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* next_ = nullptr;
  std::int64_t last_id_ = 0;
};

}  // namespace qelto::bench
