#pragma once

#include <windows.h>

#include <string>

#include "ui/support_report.h"

namespace qelto {

// What the support report says of this Windows and this installation: the recorder's version
// and build, the system's version (Wine's too, where it runs under Wine), the working folder, the
// driver beside the executable, its POS_CIDR.conf as it lies there and the end of log.txt.
SupportFacts WindowsSupportFacts(const std::string& workingFolder);

// Writes `report` (UTF-8) into kSupportReportFileName in `workingFolder`, marked as UTF-8 for
// Notepad, and puts it on the clipboard; returns what the status window says of it: where it was
// written, or why it was not.
std::string SaveSupportReport(HWND owner, const std::string& report,
                              const std::string& workingFolder);

}  // namespace qelto
