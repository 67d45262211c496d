// qelto-callerid.exe: records every incoming call reported by the caller-ID driver POS_CIDR.dll
// into the shop's database, and shows the state of the database and the devices in the
// notification area.

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "app/startup.h"
#include "app/win32/executable_path.h"
#include "app/win32/file_lock.h"
#include "app/win32/instance_mutex.h"
#include "app/win32/main_window.h"
#include "app/win32/startup_box.h"
#include "app/win32/system_clock.h"
#include "app/win32/working_folder.h"
#include "common/texts.h"
#include "device/driver_binding.h"
#include "device/win32/win_library_loader.h"
#include "recording/call_journal.h"
#include "recording/call_writer.h"
#include "recording/win32/settings_file.h"
#include "recording/win32/win_durable_file.h"
#include "ui/activity_log.h"
#include "ui/win32/win_log_files.h"
#include "ui/win32/win_message_dialog.h"
#include "ui/win32/win_tray_icon.h"

namespace {

// Lines for the log written before the main window object opens it: why a start was refused, or
// where the recorder works. A GUI program's standard error is seen by nobody.
void LogBeforeStart(qelto::LogFiles& files, const qelto::Clock& clock,
                    std::initializer_list<std::string> lines) {
  qelto::ActivityLog log(files, clock);
  log.Open();
  for (const std::string& line : lines) {
    if (!line.empty()) log.WriteLog(line);
  }
  log.Close();
}

// One line at the end of the log, never emptied first: its earlier lines are another run's.
void AppendToLog(qelto::LogFiles& files, const qelto::Clock& clock, const std::string& line) {
  // Nowhere to say it when the log cannot be opened (held against writing by the recorder that
  // holds the lock): the start ends all the same.
  try {
    if (files.FileSizeOf(qelto::kLogFileName) == -1) files.CreateEmpty(qelto::kLogFileName);
    const std::unique_ptr<qelto::LogFile> log = files.OpenForAppend(qelto::kLogFileName);
    if (log) log->Append(qelto::FormatLogLine(clock.Now(), line));
  } catch (...) {
  }
}

// Where the recorder works; when no folder can be written, the shop is told: no log, no journal.
qelto::WorkingFolder EnterWorkingFolder() {
  qelto::WorkingFolder folder = qelto::EnterWritableWorkingFolder(GetCommandLineW());
  if (folder.path.empty()) {
    std::string tried;
    for (const std::string& path : folder.tried) tried += (tried.empty() ? "" : "; ") + path;
    qelto::ShowStartupBox(qelto::kNoWritableFolderText, tried);
  }
  return folder;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before any library is loaded: none from the working folder or the PATH.
  qelto::WinLibraryLoader::RestrictLibrarySearch();
  // Program initialisation: the driver is bound before anything else exists.
  qelto::DriverBinding driver;
  qelto::WinLibraryLoader loader(qelto::ExecutableDirectory());
  driver.Load(loader);

  qelto::InstanceMutex instanceMutex;
  const qelto::StartupVerdict verdict = qelto::CheckStartup(driver, instanceMutex);
  if (verdict == qelto::StartupVerdict::kAlreadyRunning) return 0;

  const qelto::WorkingFolder workingFolder = EnterWorkingFolder();
  qelto::SystemClock clock;
  qelto::WinLogFiles logFiles;
  if (const char* text = qelto::StartupBoxText(verdict)) {
    LogBeforeStart(logFiles, clock, {workingFolder.note, text, loader.LastError()});
    qelto::ShowStartupBox(text, loader.LastError());
    return 0;
  }

  // One recorder per working folder: two would write one journal over each other's records.
  qelto::FileLock journalLock(qelto::kJournalLockFileName);
  if (!journalLock.Acquire()) {
    // Another program holds the folder's journal lock: said in the log where the log is free (a
    // recorder holding the lock holds its log against writing too), only appended to.
    AppendToLog(logFiles, clock, qelto::JournalLockHeldText(workingFolder.path, ""));
    return 0;
  }
  if (!workingFolder.note.empty()) LogBeforeStart(logFiles, clock, {workingFolder.note});

  // The themed (version 6) controls that the manifest asks for.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);

  qelto::WinDurableFile journal(qelto::kCallJournalFileName);
  qelto::WinDurableFile damagedJournal(qelto::kDamagedJournalFileName);
  qelto::WinDurableFile rejected(qelto::kRejectedCallsFileName);
  qelto::SettingsFile settings(qelto::ExecutableDirectory());
  // A relative SQLite path is taken from the working folder: the settings lie beside the
  // executable, in a folder the shop's user may not write.
  qelto::PlatformDatabaseFactory databases(workingFolder.path);
  qelto::MainWindow window(instance, workingFolder.path);
  qelto::WinTrayIcon tray(instance, window.Handle());
  qelto::WinMessageDialog dialog(instance, window.Handle());
  qelto::FormServices services{window,   driver,   clock,     logFiles, journal, damagedJournal,
                               rejected, settings, databases, tray,     window,  dialog};
  // The status window names the file of calls set aside where the technician finds it.
  services.rejectedPlace = workingFolder.path.empty()
                               ? std::string(qelto::kRejectedCallsFileName)
                               : workingFolder.path + "\\" + qelto::kRejectedCallsFileName;
  window.Create(services, tray, dialog);
  qelto::RegisterRestart(workingFolder.path);
  return qelto::MainWindow::RunMessageLoop();
}
