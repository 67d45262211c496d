#pragma once

#include <ostream>
#include <string>

namespace qelto {

// Tells why this recorder ends at start, where a shop looks: `line` goes to `err`, and is appended
// whole to the log of the working folder. The log is only appended to, never emptied or shortened:
// another recorder may be writing it. A log that is no regular file is left alone.
void TellStartRefusal(const std::string& line, const std::string& logPath, std::ostream& err);

}  // namespace qelto
