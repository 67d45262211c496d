// qelto-callerid: records every incoming call reported by the caller-ID driver into the shop's
// database, and shows the state of the database and the devices in the tray.

#include <QApplication>
#include <QObject>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "app/posix/executable_path.h"
#include "app/posix/instance_lock.h"
#include "app/posix/start_refusal.h"
#include "app/posix/system_clock.h"
#include "app/posix/working_folder.h"
#include "app/qt/main_window.h"
#include "app/qt/signal_bridge.h"
#include "app/qt/startup_box.h"
#include "app/startup.h"
#include "common/texts.h"
#include "device/driver_binding.h"
#include "device/posix/dl_library_loader.h"
#include "recording/call_journal.h"
#include "recording/call_writer.h"
#include "recording/posix/posix_durable_file.h"
#include "recording/posix/regular_file.h"
#include "recording/posix/settings_file.h"
#include "ui/posix/posix_log_files.h"
#include "ui/qt/qt_message_dialog.h"
#include "ui/qt/qt_tray_icon.h"

namespace {

// A termination signal during start-up closes the open box, which ends the process.
void CloseModalWindows() {
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (!modal->close()) break;
  }
}

// Started by the desktop session: work in the user's private state folder. Should that fail,
// the recorder works on in the folder it was started in, and says so.
void EnterStateFolderIfAsked(int argc, char** argv) {
  if (!qelto::HasStateFolderOption(argc, argv)) return;
  std::string error;
  if (!qelto::EnterStateFolder(
          qelto::StateFolder(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")), error)) {
    std::cerr << "qelto-callerid: staying in the current folder: " << error << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  EnterStateFolderIfAsked(argc, argv);
  // Program initialisation: the driver is bound before anything else exists.
  qelto::DriverBinding driver;
  qelto::DlLibraryLoader loader(qelto::DriverSearchFolders(
      qelto::ExecutableDirectory(), std::getenv("LD_LIBRARY_PATH"), QELTO_PRIVATE_LIB_DIR));
  driver.Load(loader);

  qelto::UseOffscreenPlatformWithoutDisplay();
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QString::fromUtf8(qelto::kApplicationTitle));
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(qelto::QtTrayIcon::ApplicationIcon());
  qelto::SignalBridge terminationSignals;
  auto startupConnection =
      QObject::connect(&terminationSignals, &qelto::SignalBridge::terminationRequested, &app,
                       [] { CloseModalWindows(); });

  qelto::InstanceLock instanceLock(qelto::InstanceLock::DefaultPath());
  const qelto::StartupVerdict verdict = qelto::CheckStartup(driver, instanceLock);
  if (const char* text = qelto::StartupBoxText(verdict)) {
    qelto::ShowStartupBox(text, loader.LastError());
    return 0;
  }
  if (verdict == qelto::StartupVerdict::kAlreadyRunning) return 0;

  // The journal's files are regular files of ours. Anything else there (a FIFO, a device, a link
  // elsewhere) could hang the start or send calls elsewhere; without a journal no call taken
  // would be safe, so the recorder does not start, as with faulty settings.
  const std::string refusal = qelto::RefuseNonRegularFiles(
      {qelto::kJournalLockFileName, qelto::kCallJournalFileName, qelto::kDamagedJournalFileName,
       qelto::kRejectedCallsFileName, qelto::kLogFileName});
  if (!refusal.empty()) {
    qelto::TellStartRefusal(refusal, qelto::kLogFileName, std::cerr);
    return 1;
  }
  // One recorder per working folder: two would write one journal over each other's records.
  qelto::InstanceLock journalLock(qelto::kJournalLockFileName);
  if (!journalLock.Acquire()) {
    std::error_code ignored;
    qelto::TellStartRefusal(
        qelto::JournalLockHeldText(std::filesystem::current_path(ignored).string(),
                                   journalLock.Holder()),
        qelto::kLogFileName, std::cerr);
    return 0;
  }

  qelto::SystemClock clock;
  qelto::PosixLogFiles logFiles;
  qelto::PosixDurableFile journal(qelto::kCallJournalFileName);
  qelto::PosixDurableFile damagedJournal(qelto::kDamagedJournalFileName);
  qelto::PosixDurableFile rejected(qelto::kRejectedCallsFileName);
  qelto::SettingsFile settings(
      qelto::SettingsPlaces(qelto::ExecutableDirectory(), std::getenv("XDG_CONFIG_HOME"),
                            std::getenv("HOME"), QELTO_SYSTEM_SETTINGS_DIR),
      std::cerr);
  qelto::PlatformDatabaseFactory databases(settings);
  qelto::MainWindow window;
  qelto::QtTrayIcon tray([&window] { window.ExitChosen(); }, [&window] { window.StatusChosen(); });
  qelto::QtMessageDialog dialog;
  std::error_code ignored;
  window.Create(
      {window, driver, clock, logFiles, journal, damagedJournal, rejected, settings, databases,
       tray, window, dialog, true,
       (std::filesystem::current_path(ignored) / qelto::kRejectedCallsFileName).string()});
  QObject::disconnect(startupConnection);
  QObject::connect(&terminationSignals, &qelto::SignalBridge::terminationRequested, &window,
                   &qelto::MainWindow::CloseFromOutside);
  QApplication::exec();
  return 0;
}
