#pragma once

#include <cstdint>
#include <string_view>

#include "recording/database.h"

namespace qelto {

// What an ODBC SQLSTATE (with the driver's native error number, where the SQLSTATE alone is too
// coarse) says about a failure:
//   08xxx (connection exception)                                   the connection is gone
//   40xxx (rollback, deadlock), 53xxx (out of resources), 57xxx (operator intervention),
//   HYT00, HYT01 (time-outs), HY008 (cancelled)                    busy or short: try again
//   42S02, 42P01 (no such table), 42S22, 42703 (no such column)    the table is missing
//   23505; 23000 with SQL Server's 2627 or 2601 or MySQL's 1062    a unique key was taken
//   22xxx (data), other 23xxx (constraint), other 42xxx (syntax, access rule)
//                                                                  this statement is refused
// Everything else is kUnknown: the writer then asks the server whether it still answers.
DbFailure ClassifySqlState(std::string_view sqlState, std::int64_t nativeError = 0);

// Whether a statement that failed with `sqlState` may still have been carried out: a time-out or
// a cancel can reach the server after its commit, and so can the end of the connection.
bool OutcomeUnknown(std::string_view sqlState);

}  // namespace qelto
