// The status window on the offscreen platform: opened from the tray menu's item, one instance,
// hidden when closed, refreshed only while shown, a call placed while it is open appearing in
// it, the support report, and a picture of it for a person to look at.

#include "ui/qt/status_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/qt/main_window.h"
#include "device/driver_binding.h"
#include "support/fake_clock.h"
#include "support/fake_driver.h"
#include "support/fake_settings.h"
#include "support/fake_ui.h"
#include "support/memory_durable_file.h"
#include "support/memory_log_files.h"
#include "support/temp_dir.h"
#include "ui/qt/qt_message_dialog.h"
#include "ui/qt/qt_tray_icon.h"

namespace qelto {
namespace {

using namespace testing_support;
using testing::HasSubstr;
using testing::Not;

template <typename Condition>
bool RunUntil(Condition done, int ms) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (!done() && elapsed.elapsed() < ms) {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return done();
}

int StatusWindows() {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    count += qobject_cast<StatusWindow*>(widget) != nullptr;
  }
  return count;
}

QString CallCell(StatusWindow& status, int row, int column) {
  auto* calls = status.findChild<QTableWidget*>(QStringLiteral("calls"));
  if (calls == nullptr || row >= calls->rowCount() || calls->item(row, column) == nullptr) {
    return {};
  }
  return calls->item(row, column)->text().remove(QChar(0x200E));  // the marks of direction
}

// The real recorder window and status window; fakes outside the toolkit. The writer runs on its
// own thread, as in the recorder.
class StatusWindowTest : public testing::Test {
 protected:
  StatusWindowTest() {
    auto loader = driver.Loader();
    binding.Load(*loader);
    settings.content = "x\nsrv\\SQLEXPRESS\nShop\n1\nsa\nS3cret!\n\n\n\n12\n";
  }
  ~StatusWindowTest() override { binding.WithdrawCallerEvent(); }

  void Create() {
    window.Create({window, binding, clock, log, journal, damaged, rejected, settings, databases,
                   tray, window, dialog, true, "/shop/rejected-calls.txt"});
  }

  TempDir folder;
  ScopedWorkingFolder inFolder{folder.path()};
  FakeDriver driver;
  DriverBinding binding;
  FakeClock clock{1000};
  MemoryLogFiles log;
  MemoryDurableFile journal, damaged, rejected;
  FakeSettings settings;
  FakeDatabaseFactory databases;
  FakeTray tray;
  QtMessageDialog dialog;
  MainWindow window;
};

TEST_F(StatusWindowTest, OpensFromTheTrayMenuOnceAndHidesWhenClosed) {
  Create();
  QtTrayIcon menu([] {}, [this] { window.StatusChosen(); });
  QAction* status1 = menu.findChild<QAction*>(QStringLiteral("status1"));
  if (status1 == nullptr) {
    for (QWidget* widget : QApplication::allWidgets()) {
      if (auto* popup = qobject_cast<QMenu*>(widget)) {
        const QList<QAction*> actions = popup->actions();
        if (actions.size() == 2 && actions[1]->objectName() == QLatin1String("exit1")) {
          status1 = actions[0];
        }
      }
    }
  }
  ASSERT_NE(status1, nullptr) << "the item stands above EXIT";
  EXPECT_EQ(status1->text(), QString::fromUtf8("وضعيت"));

  status1->trigger();
  ASSERT_TRUE(RunUntil([&] { return window.Status() && window.Status()->isVisible(); }, 3000));
  StatusWindow* const first = window.Status();
  EXPECT_EQ(first->layoutDirection(), Qt::RightToLeft);
  // Tab goes round the calls and the report's button; the scrolled body and the rows' texts are
  // no stops of their own.
  QStringList stops;
  for (QWidget* at = first->nextInFocusChain(); at != first; at = at->nextInFocusChain()) {
    if ((at->focusPolicy() & Qt::TabFocus) && at->isVisibleTo(first) && at->isEnabled()) {
      stops << at->objectName();
    }
  }
  // A round: where it starts from the window is of no account.
  while (!stops.isEmpty() && stops.first() != QLatin1String("calls"))
    stops.move(0, stops.size() - 1);
  EXPECT_EQ(stops, (QStringList{QStringLiteral("calls"), QStringLiteral("report_btn")}));
  first->close();
  EXPECT_FALSE(first->isVisible());
  status1->trigger();
  ASSERT_TRUE(RunUntil([&] { return first->isVisible(); }, 3000));
  status1->trigger();
  RunUntil([] { return false; }, 100);
  EXPECT_EQ(window.Status(), first);
  EXPECT_EQ(StatusWindows(), 1);
  window.Form().FormClose();
}

TEST_F(StatusWindowTest, ACallPlacedWhileOpenAppearsWithinASecond) {
  Create();
  driver.Deliver(0, u"SDevice 1 connected");
  clock.Advance(15001);  // the first connection attempt is due
  ASSERT_TRUE(RunUntil([&] { return window.Form().Writing()->DbConnected(); }, 5000));
  window.StatusChosen();
  StatusWindow& status = *window.Status();
  RunUntil([] { return false; }, 100);

  driver.Deliver(2, u"C09121234567");
  QElapsedTimer elapsed;
  elapsed.start();
  // Bounded far beyond the second it takes, so a slow machine reports rather than fails.
  ASSERT_TRUE(RunUntil([&] { return CallCell(status, 0, 3).contains(QString::fromUtf8("ثبت شد")); },
                       10000));
  std::cout << "[ figure ] call shown as written after " << elapsed.elapsed() << " ms\n";
  EXPECT_EQ(CallCell(status, 0, 2), QStringLiteral("09121234567"));
  EXPECT_EQ(CallCell(status, 0, 1), QStringLiteral("2"));
  window.Form().FormClose();
}

TEST_F(StatusWindowTest, SupportReportIsWrittenCopiedAndNamed) {
  Create();
  {
    std::ofstream logFile("log.txt");
    logFile << "2026-12-07 23:05:12 - Application Started!\r\n";
  }
  window.StatusChosen();
  StatusWindow& status = *window.Status();
  auto* button = status.findChild<QPushButton*>(QStringLiteral("report_btn"));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), QString::fromUtf8("گزارش براي پشتيباني"));
  button->click();

  std::ifstream written("support-report.txt", std::ios::binary);
  ASSERT_TRUE(written.good());
  std::stringstream content;
  content << written.rdbuf();
  EXPECT_THAT(content.str(), HasSubstr("Place: srv\\SQLEXPRESS"));
  EXPECT_THAT(content.str(), HasSubstr("Application Started!"));
  EXPECT_THAT(content.str(), Not(HasSubstr("S3cret!")));
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), content.str());
  auto* place = status.findChild<QLabel*>(QStringLiteral("report_place"));
  ASSERT_NE(place, nullptr);
  EXPECT_TRUE(place->text().contains(QString::fromStdString(folder.File("support-report.txt"))));
  // The clipboard took it, so the window says it was copied, not that it was not.
  EXPECT_TRUE(place->text().startsWith(QString::fromUtf8("گزارش نوشته و در حافظه کپي شد:")))
      << place->text().toStdString();
  window.Form().FormClose();
}

// A snapshot of every kind of row, for the picture.
StatusSnapshot ShopSnapshot() {
  StatusSnapshot s;
  s.taken = {2026, 12, 7, 11, 30, 0};
  DatabaseStatus& d = s.database;
  d.settings.read = true;
  d.settings.settingsPath = "/etc/qelto-callerid/Server_Config.dll";
  d.settings.kind = DatabaseKind::SqlServer;
  d.settings.place = ".\\SQLEXPRESS";
  d.settings.catalogue = "PosShop";
  d.settings.integratedSecurity = false;
  d.settings.user = "pos";
  d.settings.branchCode = "12";
  d.connected = true;
  d.since = LocalDateTime{2026, 12, 7, 9, 12, 40};
  d.lastError = "[FreeTDS][SQL Server] Unable to connect: Adaptive Server is unavailable";
  d.lastErrorAt = LocalDateTime{2026, 12, 7, 9, 12, 25};
  d.waiting = {1, 2000};
  d.journalPending = 1;
  d.setAside = 1;
  d.setAsideFile = "/home/shop/.local/state/qelto-callerid/rejected-calls.txt";
  s.devices.infoText =
      "POS CID Modems\r\nVER 2.3\r\nPorts 2\r\nDevices\r\nLine 1 (COM5): Connected\r\n"
      "Line 2 (COM6): Disconnected\r\n";
  s.devices.connected = 1;
  s.devices.highest = 2;
  s.devices.lastStatus = "telephone system unavailable at 192.168.1.10:5038, retrying";
  s.devices.lastStatusAt = LocalDateTime{2026, 12, 7, 11, 29, 50};
  auto call = [](int minute, const char* line, const char* number, RecentCallState state,
                 bool recovered) {
    RecentCall c;
    c.moment = {2026, 12, 7, 11, minute, 22};
    c.line = line;
    c.number = number;
    c.state = state;
    c.recovered = recovered;
    return c;
  };
  s.recent = {call(29, "1", "09121234567", RecentCallState::kWaiting, false),
              call(25, "2", "02155550001", RecentCallState::kWritten, false),
              call(20, "1", "09351112233", RecentCallState::kSetAside, false),
              call(2, "1", "09127654321", RecentCallState::kWritten, true)};
  return s;
}

TEST(StatusWindowPicture, ShowsEveryRowRightToLeft) {
  int snapshots = 0;
  StatusWindow status(
      [&snapshots] {
        ++snapshots;
        return ShopSnapshot();
      },
      [](const StatusSnapshot&) { return ReportOutcome{}; });
  status.ShowAndRaise();
  status.resize(640, 760);  // the whole of it, past the first showing's fit to the screen
  // What opening costs: one snapshot and its rows; the database is never asked.
  QElapsedTimer refresh;
  refresh.start();
  status.Refresh();
  std::cout << "[ figure ] a refresh of the shown window took " << refresh.nsecsElapsed() / 1000
            << " us\n";
  RunUntil([] { return false; }, 50);
  const QImage image = status.grab().toImage();
  const char* scale = std::getenv("QT_SCALE_FACTOR");
  const std::string file = std::string(QELTO_SCREENSHOT_DIR) + "/status_window" +
                           (scale ? std::string("_x") + scale : std::string()) + ".png";
  EXPECT_TRUE(image.save(QString::fromStdString(file))) << file;
  // The headings stand at the right: their text ends near the window's right edge.
  QLabel* heading = nullptr;
  for (QLabel* label : status.findChildren<QLabel*>()) {
    if (label->text() == QString::fromUtf8("بانک اطلاعاتي")) heading = label;
  }
  ASSERT_NE(heading, nullptr);
  EXPECT_GT(heading->mapTo(&status, QPoint(heading->width(), 0)).x(), status.width() - 40);
  EXPECT_EQ(CallCell(status, 0, 2), QStringLiteral("09121234567"));

  // Hidden, it asks for nothing.
  status.close();
  const int whenHidden = snapshots;
  RunUntil([] { return false; }, 1200);
  EXPECT_EQ(snapshots, whenHidden);
  status.ShowAndRaise();
  RunUntil([] { return false; }, 1200);
  EXPECT_GT(snapshots, whenHidden + 1) << "refreshed on the tick while shown";
}

}  // namespace
}  // namespace qelto
