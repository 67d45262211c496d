#pragma once

#include <string>
#include <vector>

namespace qelto::testing_support {

using Rows = std::vector<std::vector<std::string>>;

// The rows of `query` on the SQLite file at `path`, read on a connection of its own, every value
// as text and NULL as "<NULL>". Throws std::runtime_error with SQLite's message on failure.
Rows SqliteRows(const std::string& path, const std::string& query);

}  // namespace qelto::testing_support
