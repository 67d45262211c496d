#pragma once

#include <string>

#include "ui/support_report.h"

namespace qelto {

// The facts of this Linux computer and of the recorder's files that the support report carries:
// the system (uname), the working folder, the driver library loaded into this process, the
// driver's POS_CIDR.conf where the driver looks for it, and the end of log.txt. Only regular
// files are read, and none in a way that could wait.
SupportFacts GatherSupportFacts(std::string version, std::string build);

// Writes `text` as the support report into the working folder (readable by its owner only: it
// carries callers' numbers), replacing an earlier one.
ReportOutcome WriteSupportReport(const std::string& text);

}  // namespace qelto
