#include "app/startup.h"

#include "app/instance_guard.h"
#include "common/texts.h"
#include "device/driver_binding.h"
#include "device/driver_info.h"
#include "recording/call_journal.h"

namespace qelto {

StartupVerdict CheckStartup(const DriverBinding& driver, InstanceGuard& guard) {
  if (!driver.DriverReady()) return StartupVerdict::kDriverNotInstalled;
  if (!CheckDriverVersion(driver, kRequiredDriverVersion)) return StartupVerdict::kDriverOutdated;
  if (!guard.Acquire()) return StartupVerdict::kAlreadyRunning;
  return StartupVerdict::kRun;
}

const char* StartupBoxText(StartupVerdict verdict) {
  switch (verdict) {
    case StartupVerdict::kDriverNotInstalled:
      return kDriverNotInstalledText;
    case StartupVerdict::kDriverOutdated:
      return kDriverOutdatedText;
    default:
      return nullptr;
  }
}

std::string JournalLockHeldText(const std::string& folder, const std::string& holder) {
  return std::string(kJournalLockFileName) + " in " + folder + " is held by " +
         (holder.empty() ? std::string("another process") : holder) +
         ": another recorder records this folder's calls; this one ends and records nothing";
}

}  // namespace qelto
