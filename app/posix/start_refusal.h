#pragma once

#include <ostream>
#include <string>

namespace qelto {

// Why a second recorder in one working folder ends at once: `holder` names the process holding
// the journal lock ("process 1234 (qelto-callerid)"), or is empty when it cannot be told.
std::string JournalLockHeldText(const std::string& folder, const std::string& holder);

// Tells why this recorder ends at start, where a shop looks: `line` goes to `err`, and is appended
// whole to the log of the working folder. The log is only appended to, never emptied or shortened:
// another recorder may be writing it. A log that is no regular file is left alone.
void TellStartRefusal(const std::string& line, const std::string& logPath, std::ostream& err);

}  // namespace qelto
