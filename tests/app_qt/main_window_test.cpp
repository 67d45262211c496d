#include "app/qt/main_window.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "device/driver_binding.h"
#include "support/fake_clock.h"
#include "support/fake_driver.h"
#include "support/fake_settings.h"
#include "support/fake_ui.h"
#include "support/memory_durable_file.h"
#include "support/memory_log_files.h"
#include "ui/qt/qt_message_dialog.h"

namespace qelto {
namespace {

using namespace testing_support;

// The real window, timer and dialog; fakes for everything outside the toolkit.
class MainWindowTest : public testing::Test {
 protected:
  MainWindowTest() {
    auto loader = driver.Loader();
    binding.Load(*loader);
  }
  ~MainWindowTest() override { binding.WithdrawCallerEvent(); }

  void Create() {
    window.Create({window, binding, clock, log, journal, damaged, rejected, settings, databases,
                   tray, window, dialog});
  }
  // Runs the event loop until `done` holds or `ms` have passed.
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

// The alert's modal loop must keep the 500 ms timer ticking, or an alert could never be
// withdrawn when its cause goes away.
TEST_F(MainWindowTest, TicksGoOnInsideAnOpenAlertAndWithdrawIt) {
  driver.SetInfo(InfoWithDevices(0, 1));
  Create();
  clock.Advance(15001);  // no status event for more than 15 s: the device alert is due
  // Everything below runs inside the alert's own event loop, as the driver's events would.
  bool sawAlert = false;
  std::size_t imagesWhenOpened = 0;
  QTimer driverThread;
  QObject::connect(&driverThread, &QTimer::timeout, [&] {
    if (sawAlert || !dialog.IsMessageShowing()) return;
    sawAlert = true;
    imagesWhenOpened = tray.images.size();
    driver.SetInfo(InfoWithDevices(1, 1));
    driver.Deliver(0, u"SDevice 1 connected");
  });
  driverThread.start(50);
  // Should the alert never be withdrawn, close it, so the test fails instead of hanging.
  bool forcedClose = false;
  QTimer::singleShot(8000, [&] {
    if (!dialog.IsMessageShowing()) return;
    forcedClose = true;
    dialog.Form()->done(kResultOk);
  });
  ASSERT_TRUE(RunUntil([&] { return sawAlert && !dialog.IsMessageShowing(); }, 10000));
  EXPECT_FALSE(forcedClose) << "the nested ticks did not withdraw the alert";
  EXPECT_GT(tray.images.size(), imagesWhenOpened) << "the icon kept blinking";
  EXPECT_EQ(window.Form().Devices().DeviceCount.load(), 1);
  window.Form().FormClose();
}

TEST_F(MainWindowTest, IndicatorsShowTheState) {
  Create();
  ASSERT_TRUE(RunUntil([&] { return tray.images.size() >= 1; }, 3000));
  auto* labelDb = window.findChild<QLabel*>(QStringLiteral("LabelDB"));
  auto* labelUsb = window.findChild<QLabel*>(QStringLiteral("LabelUSB"));
  ASSERT_NE(labelDb, nullptr);
  ASSERT_NE(labelUsb, nullptr);
  EXPECT_EQ(labelDb->text(), QStringLiteral("not Connected"));
  EXPECT_EQ(labelUsb->text(), QStringLiteral("0/1"));
  EXPECT_TRUE(labelUsb->styleSheet().contains(QStringLiteral("#ff0000")));
  window.Form().FormClose();
}

}  // namespace
}  // namespace qelto
