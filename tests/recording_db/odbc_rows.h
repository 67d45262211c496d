#pragma once

#include <string>

#include "sqlite_rows.h"

namespace qelto::testing_support {

// The rows of `query` through ODBC, on a connection of its own made with `connectionString`,
// every value as text and NULL as "<NULL>". Throws std::runtime_error on failure.
Rows OdbcRows(const std::string& connectionString, const std::string& query);

}  // namespace qelto::testing_support
