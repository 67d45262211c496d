#pragma once

#include <string>

namespace qelto {

class DriverBinding;
class InstanceGuard;

// Why the recorder may not run, in the order the checks are made.
enum class StartupVerdict {
  kRun,
  kDriverNotInstalled,  // no driver library, or one of its entry points missing
  kDriverOutdated,      // driver version below the minimum, or an unreadable information text
  kAlreadyRunning,      // another copy holds the single-instance guard; end silently
};

// The start-up checks: driver present, driver up to date, single instance. The guard is taken
// only when the driver checks pass, so a refused start leaves no trace behind.
StartupVerdict CheckStartup(const DriverBinding& driver, InstanceGuard& guard);

// The text of the message box for a refused start, or null when none is shown.
const char* StartupBoxText(StartupVerdict verdict);

// Why a second recorder in one working folder ends at once: `holder` names the process holding
// the journal lock ("process 1234 (qelto-callerid)"), or is empty when it cannot be told.
std::string JournalLockHeldText(const std::string& folder, const std::string& holder);

}  // namespace qelto
