// qelto-callerid.exe: records every incoming call reported by the caller-ID driver POS_CIDR.dll
// into the shop's database, and shows the state of the database and the devices in the
// notification area.

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include "app/startup.h"
#include "app/win32/console_close.h"
#include "app/win32/executable_path.h"
#include "app/win32/file_lock.h"
#include "app/win32/instance_mutex.h"
#include "app/win32/main_window.h"
#include "app/win32/startup_box.h"
#include "app/win32/system_clock.h"
#include "device/driver_binding.h"
#include "device/win32/win_library_loader.h"
#include "recording/call_journal.h"
#include "recording/call_writer.h"
#include "recording/win32/settings_file.h"
#include "recording/win32/win_durable_file.h"
#include "ui/win32/win_log_files.h"
#include "ui/win32/win_message_dialog.h"
#include "ui/win32/win_tray_icon.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Program initialisation: the driver is bound before anything else exists.
  qelto::DriverBinding driver;
  qelto::WinLibraryLoader loader(qelto::ExecutableDirectory());
  driver.Load(loader);

  qelto::InstanceMutex instanceMutex;
  const qelto::StartupVerdict verdict = qelto::CheckStartup(driver, instanceMutex);
  if (const char* text = qelto::StartupBoxText(verdict)) {
    qelto::ShowStartupBox(text, loader.LastError());
    return 0;
  }
  if (verdict == qelto::StartupVerdict::kAlreadyRunning) return 0;

  // One recorder per working folder: two would write one journal over each other's records.
  qelto::FileLock journalLock(qelto::kJournalLockFileName);
  if (!journalLock.Acquire()) return 0;

  // The themed (version 6) controls that the manifest asks for.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  qelto::SystemClock clock;
  qelto::WinLogFiles logFiles;
  qelto::WinDurableFile journal(qelto::kCallJournalFileName);
  qelto::WinDurableFile damagedJournal(qelto::kDamagedJournalFileName);
  qelto::WinDurableFile rejected(qelto::kRejectedCallsFileName);
  qelto::SettingsFile settings(qelto::ExecutableDirectory());
  qelto::PlatformDatabaseFactory databases(qelto::ExecutableDirectory());
  qelto::MainWindow window(instance);
  qelto::WinTrayIcon tray(instance, window.Handle());
  qelto::WinMessageDialog dialog(instance, window.Handle());
  qelto::ConsoleCloseRelay console(window.Handle(), window.ClosedEvent());
  window.Create({window, driver, clock, logFiles, journal, damagedJournal, rejected, settings,
                 databases, tray, window, dialog},
                tray, dialog);
  return qelto::MainWindow::RunMessageLoop();
}
