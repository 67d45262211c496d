#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "recording/solar_date.h"

namespace qelto {

// SQL Server has ISNULL(a, b); SQLite and PostgreSQL know only the standard COALESCE(a, b).
// That function is the one difference between the statements the dialects receive.
enum class SqlDialect { SqlServer, Standard };

// The INSERT that records one call in Pos_Calls. The row is numbered one above the highest stored
// IdNumber (1 in an empty table) by the server within the same statement. `line`, `number` and the
// date texts are written as SQL literals; `branchColumnText` and `branchValueText` are inserted as
// they are (", BranchCode" and ", '<code>'", or both empty). The text ends with one space.
std::string BuildCallInsertStatement(std::string_view line, std::string_view number,
                                     const SolarDate& stamp, std::string_view branchColumnText,
                                     std::string_view branchValueText, SqlDialect dialect);

// The query that counts the rows of Pos_Calls holding one call's values, for a call whose row
// may have been written already. `branchValueText` as for the INSERT (", '<code>'" or empty).
// With `above`, only the rows numbered above it are counted, found through the table's key.
std::string BuildCallLookupQuery(std::string_view line, std::string_view number,
                                 const SolarDate& stamp, std::string_view branchValueText,
                                 std::optional<std::int64_t> above = std::nullopt);

// Splits a call queue line ("3,123456") at its first comma into the telephone line and the
// caller's number. A text without a comma gives an empty line and the whole text as the number.
std::pair<std::string, std::string> SplitQueueLine(std::string_view queueLine);

}  // namespace qelto
