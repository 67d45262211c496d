#pragma once

#include <string>
#include <vector>

namespace qelto::testing_support {

using Rows = std::vector<std::vector<std::string>>;

// The rows of `query` on the SQLite file at `path`, read on a connection of its own, every value
// as text and NULL as "<NULL>". Throws std::runtime_error with SQLite's message on failure.
Rows SqliteRows(const std::string& path, const std::string& query);

// Copies the SQLite file at `from` to `to` page by page while others may write to it, as the
// sqlite3 shell's ".backup" does. Throws std::runtime_error with SQLite's message on failure.
void SqliteBackup(const std::string& from, const std::string& to);

}  // namespace qelto::testing_support
