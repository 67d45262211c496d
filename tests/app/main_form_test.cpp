#include "app/main_form.h"

#include "common/texts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "device/driver_binding.h"
#include "support/fake_clock.h"
#include "support/fake_driver.h"
#include "support/fake_settings.h"
#include "support/fake_ui.h"
#include "support/memory_durable_file.h"
#include "support/memory_log_files.h"

namespace qelto {
namespace {

using namespace std::chrono_literals;
using testing::ElementsAre;
using testing::Pair;
using testing_support::FakeClock;
using testing_support::FakeDatabaseFactory;
using testing_support::FakeDialog;
using testing_support::FakeDriver;
using testing_support::FakeLabels;
using testing_support::FakeSettings;
using testing_support::FakeTray;
using testing_support::InfoWithDevices;
using testing_support::MemoryDurableFile;
using testing_support::MemoryLogFiles;

// Records what the toolkit was asked to do, in order.
class RecordingHost : public FormHost {
 public:
  explicit RecordingHost(MemoryLogFiles& log) : log_(log) {}
  void EnableTimer(bool enabled) override {
    timerEnabled = enabled;
    steps.push_back(enabled
                        ? "timer on"
                        : "timer off (log lines " + std::to_string(log_.Messages().size()) + ")");
  }
  void RequestQuit() override { steps.push_back("quit"); }
  void EndProcessNow() override { steps.push_back("end at once"); }

  bool timerEnabled = false;
  std::vector<std::string> steps;

 private:
  MemoryLogFiles& log_;
};

// Waits for the writer's thread; false after a bound far beyond any honest wait, so that a lost
// wake fails the test at once rather than hanging it until ctest gives up.
template <typename Condition>
bool Eventually(Condition done) {
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class MainFormTest : public testing::Test {
 protected:
  MainFormTest() {
    auto loader = driver.Loader();
    binding.Load(*loader);
    clock.SetTick(1000);
  }
  ~MainFormTest() override { binding.WithdrawCallerEvent(); }

  std::vector<std::string> Drain() {
    std::vector<std::string> lines;
    while (auto call = form.Queue().TakeFirst()) lines.push_back(call->line);
    return lines;
  }

  FakeDriver driver;
  DriverBinding binding;
  FakeClock clock;
  MemoryLogFiles log;
  RecordingHost host{log};
  MemoryDurableFile journal;
  MemoryDurableFile damaged;
  MemoryDurableFile rejected;
  FakeSettings settings;
  FakeDatabaseFactory databases;
  FakeTray tray;
  FakeLabels labels;
  FakeDialog dialog;
  TMAIN_FRM form{FormServices{host, binding, clock, log, journal, damaged, rejected, settings,
                              databases, tray, labels, dialog, false}};
};

TEST_F(MainFormTest, CreationLogsRegistersTheHandlerAndStartsTheTimer) {
  form.FormCreate();
  EXPECT_THAT(log.Messages(), ElementsAre("Application Started!"));
  EXPECT_EQ(driver.callback(), &DriverBinding::CallerEventStub);
  EXPECT_EQ(driver.value(), 5);
  EXPECT_TRUE(host.timerEnabled);
  EXPECT_EQ(form.Devices().DeviceCount.load(), 0);
  EXPECT_EQ(form.Devices().MaxDeviceCount.load(), 1);
  EXPECT_EQ(form.Devices().LastDeviceTick.load(), 1000u);
}

struct CallCase {
  std::int32_t code;
  std::u16string text;
  const char* queued;  // null: nothing queued
};

class CallEvents : public MainFormTest, public testing::WithParamInterface<CallCase> {};

TEST_P(CallEvents, BecomeQueueLines) {
  form.FormCreate();
  driver.Deliver(GetParam().code, GetParam().text.c_str());
  const auto lines = Drain();
  if (GetParam().queued == nullptr) {
    EXPECT_TRUE(lines.empty());
  } else {
    EXPECT_THAT(lines, ElementsAre(GetParam().queued));
  }
  EXPECT_THAT(log.Messages(), ElementsAre("Application Started!")) << "calls are not logged";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CallEvents,
    testing::Values(CallCase{2, u"C0123456", "2,0123456"}, CallCase{1, u"C", "1,0"},
                    CallCase{1, u"C 0912", "1,0912"}, CallCase{1, u"C0912-345", "1,0912345"},
                    CallCase{1, u"C0912-123-4567", "1,09121234567"},
                    CallCase{1, u"C+989121234567", "1,00989121234567"},
                    CallCase{1, u"C+98 (912) 123.45-67", "1,00989121234567"},
                    CallCase{1, u"C(021) 555", "1,021555"}, CallCase{1, u"Cabc", "1,0"},
                    CallCase{1, u"C+", "1,0"}, CallCase{1, u"C-", "1,0"},
                    CallCase{1, u"C0912x55", "1,0912"}, CallCase{1, u"C0912+5", "1,0912"},
                    CallCase{1, u"C\u0661\u0662", "1,0"}, CallCase{1, u"C\uff11", "1,0"},
                    CallCase{12, u"C5", "12,5"}, CallCase{2147483647, u"C9", "2147483647,9"},
                    CallCase{0, u"C123", nullptr}, CallCase{3, u"S1", nullptr},
                    CallCase{-1, u"C123", nullptr}, CallCase{1, u"c123", nullptr},
                    CallCase{1, u"", nullptr}));

TEST_F(MainFormTest, CallsAreQueuedInTheOrderTheyArrive) {
  form.FormCreate();
  driver.Deliver(1, u"C111");
  driver.Deliver(2, u"C222");
  form.Button1Click();
  EXPECT_THAT(Drain(), ElementsAre("1,111", "2,222", "3,123456"));
}

TEST_F(MainFormTest, CallsAreJournalledWithTheMomentTheyArrived) {
  form.FormCreate();
  clock.SetNow({2021, 3, 21, 10, 0, 0});
  driver.Deliver(3, u"C123456");
  EXPECT_EQ(journal.Content(), "C 1 2021-03-21 10:00:00 3,123456\n");
  clock.SetNow({2021, 3, 21, 10, 0, 5});
  const auto call = form.Queue().TakeFirst();
  ASSERT_TRUE(call.has_value());
  EXPECT_EQ(call->id, 1u);
  EXPECT_EQ(call->moment.second, 0) << "stamped on arrival, not when taken";
}

TEST_F(MainFormTest, CallIsQueuedEvenWhenTheJournalCannotBeWritten) {
  form.FormCreate();
  journal.failWrites = true;
  driver.Deliver(1, u"C42");
  EXPECT_THAT(Drain(), ElementsAre("1,42"));
  EXPECT_THAT(log.Messages().back(), testing::HasSubstr("Error: Call journal"));
}

TEST_F(MainFormTest, CallsLeftInTheJournalAreQueuedAgainAtStart) {
  journal.content =
      "C 7 2026-12-01 09:00:00 1,111\nC 8 2026-12-01 09:00:01 2,222\nW 7\nC 9 2026-12-01 09:0";
  form.FormCreate();
  driver.Deliver(3, u"C333");
  const auto first = form.Queue().TakeFirst();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->id, 8u);
  EXPECT_EQ(first->line, "2,222");
  EXPECT_EQ(first->moment.second, 1);
  EXPECT_THAT(Drain(), ElementsAre("3,333"));
  EXPECT_EQ(log.Messages()[1],
            "Error: Call journal: 1 unreadable records moved to calls-journal.damaged.txt");
  EXPECT_EQ(damaged.content, "C 9 2026-12-01 09:0\n");
}

TEST_F(MainFormTest, StatusEventsAreLoggedAndCountDevices) {
  form.FormCreate();
  clock.SetTick(5000);
  driver.SetInfo(InfoWithDevices(2, 3));
  driver.Deliver(0, u"SDevice 2 connected");
  EXPECT_EQ(form.Devices().DeviceCount.load(), 2);
  EXPECT_EQ(form.Devices().MaxDeviceCount.load(), 2);
  EXPECT_EQ(form.Devices().LastDeviceTick.load(), 5000u);

  driver.SetInfo(InfoWithDevices(0, 3));
  driver.Deliver(0, u"S\u062e\u0637\u0627");  // non-ASCII status text
  EXPECT_EQ(form.Devices().DeviceCount.load(), 0);
  EXPECT_EQ(form.Devices().MaxDeviceCount.load(), 2) << "the highest count is never lowered";
  EXPECT_THAT(log.Messages(), ElementsAre("Application Started!", "SDevice 2 connected",
                                          "S\xd8\xae\xd8\xb7\xd8\xa7"));

  driver.Deliver(0, u"sLower case");
  driver.Deliver(0, u"");
  EXPECT_EQ(log.Messages().size(), 3u);
  EXPECT_TRUE(Drain().empty());
}

TEST_F(MainFormTest, MissingSettingsShowTheAlertAndClose) {
  settings.missing = true;
  form.FormCreate();
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].id, kSettingsMessageId);
  EXPECT_EQ(dialog.shown[0].buttons, kButtonsOk);
  EXPECT_EQ(dialog.shown[0].text, kSettingsAlertText);
  EXPECT_THAT(host.steps, ElementsAre("timer off (log lines 2)", "quit"));
  EXPECT_TRUE(tray.added) << "the icon is there while the settings alert is shown";
  EXPECT_TRUE(tray.removed);
  EXPECT_THAT(log.Messages(),
              ElementsAre("Application Started!",
                          "Cannot open file \"/opt/qelto/Server_Config.dll\". No such file or "
                          "directory",
                          "Application Closed"));
  EXPECT_EQ(driver.registrations(), 0) << "the handler is never installed";
  EXPECT_EQ(form.Writer(), nullptr);
}

TEST_F(MainFormTest, ShortSettingsFileIsLoggedAndCloses) {
  settings.content = "a\nb\n";
  form.FormCreate();
  EXPECT_THAT(log.Messages(), ElementsAre("Application Started!", "List index out of bounds (2)",
                                          "Application Closed"));
}

// Only a file that holds a password (line 4 "1") and that every user can read is worth a warning.
struct PasswordCase {
  const char* login;
  bool readableByOthers;
  bool warned;
};
class SettingsPassword : public MainFormTest, public testing::WithParamInterface<PasswordCase> {};

TEST_P(SettingsPassword, WarnedOfWhenEveryUserCanReadIt) {
  settings.content = std::string("x\nserver\nShop\n") + GetParam().login + "\nsa\nsecret\n";
  settings.readableByOthers = GetParam().readableByOthers;
  form.FormCreate();
  const auto messages = log.Messages();
  EXPECT_EQ(std::any_of(messages.begin(), messages.end(),
                        [](const std::string& m) {
                          return m.rfind(
                                     "Warning: /opt/qelto/Server_Config.dll holds the "
                                     "database password",
                                     0) == 0;
                        }),
            GetParam().warned);
}

INSTANTIATE_TEST_SUITE_P(LoginAndMode, SettingsPassword,
                         testing::Values(PasswordCase{"1", true, true},
                                         PasswordCase{"1", false, false},
                                         PasswordCase{"0", true, false}));

TEST_F(MainFormTest, TicksDriveTheWriterFromTheSettingsDatabase) {
  settings.content = "x\nsqlite:calls.sqlite\nShop\n0\nrecorder\n\n\n\n\n12\n";
  form.FormCreate();
  ASSERT_NE(databases.created, nullptr);
  EXPECT_EQ(databases.lastConfig.server, "sqlite:calls.sqlite");
  driver.Deliver(0, u"SDevice 1 connected");  // counts equal: no device alert ends the tick
  driver.Deliver(3, u"C123456");
  form.Timer1Timer();
  EXPECT_TRUE(databases.created->inserts.empty()) << "no connection in the first 15 s";
  clock.Advance(15001);
  form.Timer1Timer();
  ASSERT_EQ(databases.created->inserts.size(), 1u);
  EXPECT_THAT(databases.created->inserts[0], testing::HasSubstr("'123456'"));
  EXPECT_THAT(databases.created->inserts[0], testing::HasSubstr(", '12' "));
}

TEST_F(MainFormTest, ExitAnsweredNoChangesNothingAndYesCloses) {
  form.FormCreate();
  dialog.answer = kResultNo;
  form.exit1Click();
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].id, kSettingsMessageId);
  EXPECT_EQ(dialog.shown[0].buttons, kButtonsYesNo);
  EXPECT_EQ(dialog.shown[0].text, kExitQuestionText);
  EXPECT_FALSE(form.Closed());
  dialog.answer = kResultClosed;  // the close box
  form.exit1Click();
  EXPECT_FALSE(form.Closed());
  dialog.answer = kResultYes;
  form.exit1Click();
  EXPECT_TRUE(form.Closed());
  EXPECT_EQ(log.Messages().back(), "Application Closed");
}

TEST_F(MainFormTest, ExitWhileAnotherDialogIsOpenDoesNothing) {
  form.FormCreate();
  dialog.answer = kResultYes;
  dialog.whileOpen = [this] { form.exit1Click(); };  // EXIT chosen while an alert is open
  dialog.ShowMessageForm(kButtonsOk, kDeviceAlertText, kDeviceAlertId);
  EXPECT_EQ(dialog.refusals, 1);
  EXPECT_FALSE(form.Closed());
}

TEST_F(MainFormTest, ShutdownRunsInOrderAndOnlyOnce) {
  form.FormCreate();
  form.FormClose();
  form.FormClose();
  EXPECT_TRUE(tray.removed);
  EXPECT_EQ(driver.callback(), nullptr) << "the handler is withdrawn";
  EXPECT_EQ(driver.value(), 0);
  EXPECT_THAT(host.steps, ElementsAre("timer on", "timer off (log lines 1)", "quit"));
  EXPECT_THAT(log.Messages(), ElementsAre("Application Started!", "Application Closed"));
}

// A close that reaches the recorder through a dialog's modal loop (a termination signal, WM_CLOSE
// from an installer) while a handler waits in that dialog, with the writer on its own thread.
struct CloseInDialogCase {
  const char* name;
  std::int32_t dialogId;
  bool settingsMissing;
  // Creates the recorder and brings it to the point where a handler opens the dialog.
  void (*open)(TMAIN_FRM& form, FakeDriver& driver, FakeDatabaseFactory& databases,
               FakeClock& clock);
};

class CloseInDialog : public MainFormTest, public testing::WithParamInterface<CloseInDialogCase> {
 protected:
  TMAIN_FRM threaded{FormServices{host, binding, clock, log, journal, damaged, rejected, settings,
                                  databases, tray, labels, dialog, true}};
};

TEST_P(CloseInDialog, ReleasesNothingBeforeTheWaitingHandlerHasReturned) {
  dialog.answer = kResultYes;  // were the dialog answered rather than withdrawn
  dialog.whileOpen = [this] {
    threaded.Timer1Timer();  // ticks run nested in the modal loop
    WriterControl* const writing = threaded.Writing();
    threaded.FormClose();
    EXPECT_TRUE(dialog.Withdrawn());
    EXPECT_TRUE(tray.removed);
    EXPECT_EQ(log.Messages().back(), "Application Closed");
    EXPECT_EQ(threaded.Writing(), writing) << "released while a handler still uses it";
    EXPECT_THAT(host.steps, testing::Not(testing::Contains("quit")));
    threaded.Timer1Timer();  // one more, already on its way: does nothing
  };
  settings.missing = GetParam().settingsMissing;
  GetParam().open(threaded, driver, databases, clock);
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].id, GetParam().dialogId);
  EXPECT_TRUE(threaded.Closed());
  EXPECT_EQ(host.steps.back(), "quit");
  EXPECT_EQ(std::count(host.steps.begin(), host.steps.end(), "quit"), 1);
  if (threaded.Writer() != nullptr) {
    EXPECT_EQ(threaded.Writing(), threaded.Writer()) << "the writer's thread is not released";
  }
  EXPECT_EQ(log.Messages().back(), "Application Closed");
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, CloseInDialog,
    testing::Values(
        CloseInDialogCase{"DatabaseAlert", kDatabaseAlertId, false,
                          [](TMAIN_FRM& form, FakeDriver& driver, FakeDatabaseFactory& databases,
                             FakeClock& clock) {
                            form.FormCreate();
                            databases.created->serverDown = true;
                            driver.Deliver(0, u"SDevice 1 connected");  // no device alert first
                            for (int attempt = 1; attempt <= 3; ++attempt) {
                              clock.Advance(15001);
                              form.Timer1Timer();
                              ASSERT_TRUE(Eventually([&] {
                                return form.Writing()->ConnectAttempts() >= attempt;
                              })) << "the writer's thread never made attempt "
                                  << attempt;
                            }
                            form.Timer1Timer();
                          }},
        CloseInDialogCase{"DeviceAlert", kDeviceAlertId, false,
                          [](TMAIN_FRM& form, FakeDriver&, FakeDatabaseFactory&, FakeClock& clock) {
                            form.FormCreate();
                            clock.Advance(15001);
                            form.Timer1Timer();
                          }},
        CloseInDialogCase{"ExitQuestion", kSettingsMessageId, false,
                          [](TMAIN_FRM& form, FakeDriver&, FakeDatabaseFactory&, FakeClock&) {
                            form.FormCreate();
                            form.exit1Click();
                          }},
        CloseInDialogCase{"SettingsAlert", kSettingsMessageId, true,
                          [](TMAIN_FRM& form, FakeDriver&, FakeDatabaseFactory&, FakeClock&) {
                            form.FormCreate();
                          }}),
    [](const testing::TestParamInfo<CloseInDialogCase>& shown) { return shown.param.name; });

TEST_F(MainFormTest, EventsAfterShutdownTouchNothing) {
  form.FormCreate();
  const CIDR_EventCallback stub = driver.callback();
  form.FormClose();
  stub(0, u"SLate status");  // a driver that ignores the withdrawal
  stub(1, u"C999");
  EXPECT_TRUE(Drain().empty());
  EXPECT_THAT(log.Messages(), ElementsAre("Application Started!", "Application Closed"));
}

TEST_F(MainFormTest, ShutdownWhileTheDriverKeepsDelivering) {
  form.FormCreate();
  std::atomic<bool> stop{false};
  std::atomic<int> delivered{0};
  std::thread driverThread([&] {
    while (!stop) {
      driver.Deliver(1, u"C1");
      driver.Deliver(0, u"Sstatus");
      ++delivered;
    }
  });
  while (delivered < 100) std::this_thread::yield();
  form.FormClose();
  const auto messagesAtClose = log.Messages();
  const std::size_t queuedAtClose = form.Queue().Size();
  while (delivered < 200) std::this_thread::yield();
  stop = true;
  driverThread.join();
  EXPECT_EQ(messagesAtClose.back(), "Application Closed");
  EXPECT_EQ(log.Messages().size(), messagesAtClose.size());
  EXPECT_EQ(form.Queue().Size(), queuedAtClose);
}

TEST_F(MainFormTest, CallsFromSeveralDriverThreadsAreAllQueued) {
  form.FormCreate();
  constexpr int kPerThread = 5000;
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int t = 1; t <= 3; ++t) {
    threads.emplace_back([this, t, &finished] {
      for (int i = 0; i < kPerThread; ++i) driver.Deliver(t, u"C42");
      ++finished;
    });
  }
  std::map<std::string, int> taken;  // by queue line
  const auto take = [&] {
    while (auto call = form.Queue().TakeFirst()) ++taken[call->line];
  };
  while (finished < 3) take();  // taken while the drivers still deliver
  for (auto& thread : threads) thread.join();
  take();
  EXPECT_THAT(taken, ElementsAre(Pair("1,42", kPerThread), Pair("2,42", kPerThread),
                                 Pair("3,42", kPerThread)));
}

// A writer stuck in a connection attempt that cannot be cancelled is not waited for beyond a
// moment: the process ends at once, and the call it holds stays in the journal for the next run.
TEST_F(MainFormTest, AWriterThatWillNotStopEndsTheProcessAtOnce) {
  std::mutex m;
  std::condition_variable cv;
  bool hanging = false, released = false;
  TMAIN_FRM threaded{FormServices{host, binding, clock, log, journal, damaged, rejected, settings,
                                  databases, tray, labels, dialog, true}};
  struct Release {  // before the recorder, whose destruction waits for its writer
    std::mutex& m;
    std::condition_variable& cv;
    bool& released;
    ~Release() {
      std::lock_guard lock(m);
      released = true;
      cv.notify_all();
    }
  } release{m, cv, released};
  threaded.FormCreate();
  databases.created->before = [&](const std::string& doing) {
    if (doing != "Open") return;
    std::unique_lock lock(m);
    hanging = true;
    cv.notify_all();
    cv.wait(lock, [&] { return released; });
  };
  driver.Deliver(0, u"SDevice 1 connected");  // counts equal: no device alert in the tick
  driver.Deliver(1, u"C111");
  clock.Advance(15001);
  threaded.Timer1Timer();
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 30s, [&] { return hanging; }))
        << "the writer's thread never tried to connect";
  }
  threaded.FormClose();
  EXPECT_THAT(host.steps, ElementsAre("timer on", "timer off (log lines 2)", "end at once"));
  EXPECT_EQ(log.Messages().back(), "Application Closed") << "written before the end";
  EXPECT_TRUE(tray.removed);
  EXPECT_EQ(driver.callback(), nullptr);
  EXPECT_THAT(journal.Content(), testing::HasSubstr(" 1,111\n"));
  EXPECT_THAT(journal.Content(), testing::Not(testing::HasSubstr("W ")));
}

}  // namespace
}  // namespace qelto
