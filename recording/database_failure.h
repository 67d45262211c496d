#pragma once

#include <string_view>

#include "recording/database.h"

namespace qelto {

// What an ODBC SQLSTATE says about a failure:
//   08xxx (connection exception)                                   the connection is gone
//   40xxx (rollback, deadlock), 53xxx (out of resources), 57xxx (operator intervention),
//   HYT00, HYT01 (time-outs), HY008 (cancelled)                    busy or short: try again
//   22xxx (data), 23xxx (constraint), 42xxx (syntax, access rule)  this statement is refused
// Everything else is kUnknown: the writer then asks the server whether it still answers.
DbFailure ClassifySqlState(std::string_view sqlState);

}  // namespace qelto
