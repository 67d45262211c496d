#pragma once

#include <string>
#include <vector>

#include "recording/call_statement.h"
#include "recording/queued_call.h"

namespace qelto::bench {

// `count` distinct call queue lines, spread over the lines 1 to 4: "1,09120000000",
// "2,09120000001"...
std::vector<std::string> QueueLines(int count);

// The driver's event text for a call from `number`: "C" and the digits, as UTF-16.
std::u16string CallEventText(const std::string& number);

// The INSERT the writer builds for `call` (no branch code), for loops that bypass the writer.
std::string InsertStatementFor(const QueuedCall& call, SqlDialect dialect);

}  // namespace qelto::bench
