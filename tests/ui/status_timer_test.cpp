#include "ui/status_timer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/texts.h"
#include "recording/call_writer.h"
#include "support/fake_clock.h"
#include "support/fake_database.h"
#include "support/fake_ui.h"
#include "support/memory_durable_file.h"
#include "support/memory_log_files.h"
#include "ui/activity_log.h"

namespace qelto {
namespace {

using testing::ElementsAre;
using testing_support::FakeClock;
using testing_support::FakeDatabase;
using testing_support::FakeDialog;
using testing_support::FakeLabels;
using testing_support::FakeTray;
using testing_support::MemoryDurableFile;
using testing_support::MemoryLogFiles;

constexpr std::uint32_t kStart = 100000;

class StatusTimerTest : public testing::Test {
 protected:
  StatusTimerTest() {
    log.Open();
    journal.Recover();
    devices.MaxDeviceCount = 1;
    devices.DeviceCount = 0;
    devices.LastDeviceTick = kStart;
  }

  // One timer tick, 500 ms after the previous one.
  void Tick() {
    clock.Advance(500);
    timer.Timer1Timer();
  }
  void TickUntilConnected() {
    devices.DeviceCount = 1;
    while (!writer.DbConnected()) Tick();
  }
  void Queue(const char* line, std::uint32_t queuedTick) {
    QueuedCall call;
    call.line = line;
    call.queuedTick = queuedTick;
    queue.Append(std::move(call));
  }
  void Queue(const char* line) { Queue(line, clock.Tick()); }
  std::string Tip() const { return tray.tips.empty() ? kTrayTip : tray.tips.back(); }
  TrayImage Image() const {
    return tray.images.empty() ? TrayImage::kApplication : tray.images.back();
  }
  // The modal loop of the next dialog runs nested ticks until it is withdrawn (or `limit`).
  void NestedTicksWhileOpen(int limit) {
    dialog.whileOpen = FakeDialog::Ticking(
        dialog, [this] { Tick(); }, limit);
  }

  FakeClock clock{kStart};
  FakeDatabase database;
  LockedCallQueue queue;
  MemoryDurableFile journalFile, damagedFile, rejected;
  CallJournal journal{journalFile, damagedFile};
  MemoryLogFiles logFiles;
  ActivityLog log{logFiles, clock};
  CallWriter writer{database, queue, journal, rejected, log, clock, {"", ""}};
  DeviceCounters devices;
  FakeTray tray;
  FakeLabels labels;
  FakeDialog dialog;
  StatusTimer timer{tray, labels, dialog, clock, devices, writer};
};

TEST_F(StatusTimerTest, FirstTickShowsTheBadStateWithoutAlert) {
  Tick();
  EXPECT_THAT(tray.images, ElementsAre(TrayImage::kBad));
  EXPECT_FALSE(labels.databaseGood);
  EXPECT_EQ(labels.databaseText, "not Connected");
  EXPECT_FALSE(labels.devicesGood);
  EXPECT_EQ(labels.devicesText, "0/1");
  EXPECT_TRUE(dialog.shown.empty());
}

TEST_F(StatusTimerTest, StatusIconAndApplicationIconTakeTurns) {
  TickUntilConnected();
  tray.images.clear();
  for (int i = 0; i < 6; ++i) Tick();
  const auto phase = tray.images.front();
  ASSERT_EQ(tray.images.size(), 6u) << "the picture changes, and the tray is told, every tick";
  for (std::size_t i = 0; i < tray.images.size(); ++i) {
    EXPECT_NE(tray.images[i], i % 2 == 0 ? TrayImage::kNone : phase);
  }
  EXPECT_NE(std::find(tray.images.begin(), tray.images.end(), TrayImage::kGood), tray.images.end());
  EXPECT_NE(std::find(tray.images.begin(), tray.images.end(), TrayImage::kApplication),
            tray.images.end());
  EXPECT_TRUE(labels.databaseGood);
  EXPECT_EQ(labels.devicesText, "1/1");
  EXPECT_TRUE(labels.devicesGood);
}

TEST_F(StatusTimerTest, DeviceAlertOpensOnlyAfterMoreThan15Seconds) {
  clock.SetTick(kStart + kDeviceAlertWaitMs);
  timer.Timer1Timer();
  EXPECT_TRUE(dialog.shown.empty()) << "exactly 15000 ms raises nothing";
  clock.SetTick(kStart + kDeviceAlertWaitMs + 1);
  timer.Timer1Timer();
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].id, kDeviceAlertId);
  EXPECT_EQ(dialog.shown[0].buttons, kButtonsOk);
  EXPECT_EQ(dialog.shown[0].text, kDeviceAlertText);
  EXPECT_EQ(devices.LastDeviceTick.load(), kStart + kDeviceAlertWaitMs + 1)
      << "the wait starts again when the alert closes";
}

TEST_F(StatusTimerTest, WithoutStatusEventsTheFirstDeviceAlertComesOnThe31stTick) {
  int ticks = 0;
  while (dialog.shown.empty() && ticks < 100) {
    Tick();
    ++ticks;
  }
  EXPECT_EQ(ticks, 31);
}

TEST_F(StatusTimerTest, WrapOfTheTickCounterRaisesNoFalseAlert) {
  devices.LastDeviceTick = 0xFFFFFF00u;
  clock.SetTick(0x00000100u);  // 512 ms later, across the wrap
  timer.Timer1Timer();
  EXPECT_TRUE(dialog.shown.empty());
  clock.SetTick(0xFFFFFF00u + kDeviceAlertWaitMs + 1);
  timer.Timer1Timer();
  EXPECT_EQ(dialog.shown.size(), 1u);
}

TEST_F(StatusTimerTest, DatabaseAlertNeedsThreeFailedAttempts) {
  devices.DeviceCount = 1;
  database.serverDown = true;
  while (writer.ConnectAttempts() < 2) Tick();
  for (int i = 0; i < 20; ++i) Tick();  // 10 s more: still two attempts made
  EXPECT_TRUE(dialog.shown.empty());
  while (writer.ConnectAttempts() < 3) Tick();
  EXPECT_TRUE(dialog.shown.empty()) << "the attempt is made at the end of the tick";
  Tick();
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].id, kDatabaseAlertId);
  EXPECT_EQ(dialog.shown[0].text, kDatabaseAlertText);
  EXPECT_EQ(writer.ConnectAttempts(), 0) << "the alert starts the count anew";
  Tick();
  EXPECT_EQ(dialog.shown.size(), 1u);
}

TEST_F(StatusTimerTest, AlertWithdrawnByANestedTickWhenTheDatabaseIsBack) {
  devices.DeviceCount = 1;
  database.serverDown = true;
  while (writer.ConnectAttempts() < 3) Tick();
  Queue("1,42");
  NestedTicksWhileOpen(200);
  dialog.whileOpen = [this, ticking = dialog.whileOpen] {
    database.serverDown = false;  // the server comes back while the alert is open
    ticking();
  };
  Tick();
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_TRUE(dialog.Withdrawn());
  EXPECT_TRUE(writer.DbConnected());
  EXPECT_EQ(database.inserts.size(), 1u) << "the nested ticks wrote the queued call";
  EXPECT_EQ(writer.ConnectAttempts(), 0) << "the resumed tick's closing assignment";
}

TEST_F(StatusTimerTest, TheTickThatRaisesAnAlertDoesNotWrite) {
  TickUntilConnected();
  devices.DeviceCount = 0;
  devices.LastDeviceTick = clock.Tick() - kDeviceAlertWaitMs - 1;
  Queue("1,1");
  std::size_t insertsWhenRaised = 99;
  dialog.whileOpen = [&] { insertsWhenRaised = database.inserts.size(); };
  Tick();
  EXPECT_EQ(insertsWhenRaised, 0u);
  EXPECT_EQ(queue.Size(), 1u);
  Tick();  // a later tick, with the alert closed and 15 s to wait again, writes it
  EXPECT_EQ(database.inserts.size(), 1u);
}

TEST_F(StatusTimerTest, DeviceBackWithdrawsTheAlertAndTheWaitStartsAfresh) {
  TickUntilConnected();
  devices.DeviceCount = 0;
  devices.LastDeviceTick = clock.Tick() - kDeviceAlertWaitMs - 1;
  int nested = 0;
  dialog.whileOpen = [&] {
    for (; nested < 10 && !dialog.Withdrawn(); ++nested) {
      if (nested == 3) devices.DeviceCount = 1;  // a status event: the device is back
      Tick();
    }
  };
  Tick();
  EXPECT_TRUE(dialog.Withdrawn());
  EXPECT_EQ(nested, 4) << "withdrawn within one tick";
  EXPECT_EQ(devices.LastDeviceTick.load(), clock.Tick());

  devices.DeviceCount = 0;  // lost again at once
  dialog.whileOpen = nullptr;
  for (int i = 0; i < 30; ++i) Tick();
  EXPECT_EQ(dialog.shown.size(), 1u) << "a full 15 s from the end of the last alert";
  Tick();
  EXPECT_EQ(dialog.shown.size(), 2u);
}

TEST_F(StatusTimerTest, NoDatabaseAlertWhileTheDeviceAlertIsOpen) {
  database.serverDown = true;
  int nested = 0;
  dialog.whileOpen = [&] {
    for (; nested < 120; ++nested) Tick();  // 60 s: three failed attempts meanwhile
  };
  clock.SetTick(kStart + kDeviceAlertWaitMs + 1);
  timer.Timer1Timer();
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.refusals, 0) << "nested ticks never even ask";
  EXPECT_GE(writer.ConnectAttempts(), 3);
  dialog.whileOpen = nullptr;
  devices.DeviceCount = 1;
  Tick();
  ASSERT_EQ(dialog.shown.size(), 2u);
  EXPECT_EQ(dialog.shown[1].id, kDatabaseAlertId) << "raised on the first tick after it closes";
}

TEST_F(StatusTimerTest, TheExitQuestionIsNeverWithdrawnByTicks) {
  TickUntilConnected();
  NestedTicksWhileOpen(40);
  devices.DeviceCount = 0;  // and the device goes missing meanwhile
  EXPECT_EQ(dialog.ShowMessageForm(kButtonsYesNo, kExitQuestionText, kSettingsMessageId),
            kResultOk);
  EXPECT_FALSE(dialog.Withdrawn());
  EXPECT_EQ(dialog.shown.size(), 1u) << "no alert opens while the question is open";
}

// A call that waits longer than a minute to be written, whatever holds it up, makes the status bad
// and is named on the tip until it is written; a minute exactly is not late yet.
struct LateCase {
  const char* name;
  bool connected;  // else the database has not been reached since the start
  bool locked;     // every statement finds the database locked
  int calls;
  std::uint32_t waitedMs;  // by the oldest, at the tick that shows the status icon
  TrayImage image;
  int tipMinutes;  // -1: the plain tip
};

class LateCallTest : public StatusTimerTest, public testing::WithParamInterface<LateCase> {};

TEST_P(LateCallTest, ShowsOnTheIconAndTheTip) {
  const LateCase& c = GetParam();
  devices.DeviceCount = 1;
  if (c.connected) TickUntilConnected();
  database.busy = c.locked;
  database.serverDown = !c.connected;
  while (timer.BlinkCount() != 0) Tick();  // the next tick shows the status icon
  for (int i = 0; i < c.calls; ++i) Queue("1,09121234567", clock.Tick() + 500 - c.waitedMs);
  Tick();
  ASSERT_EQ(timer.BlinkCount(), 1);
  EXPECT_EQ(Image(), c.image);
  const std::string lateTip = std::string(kTrayTip) + "\n" + kCallsNotWrittenTipText + ": " +
                              std::to_string(c.calls) + "\n" + kWaitMinutesTipText + ": " +
                              std::to_string(c.tipMinutes);
  EXPECT_EQ(Tip(), c.tipMinutes < 0 ? kTrayTip : lateTip);
  EXPECT_TRUE(dialog.shown.empty()) << "the tip says it; no alert for a late call";

  database.busy = false;
  database.serverDown = false;
  for (int i = 0; i < 40 && queue.Size() > 0; ++i) Tick();
  ASSERT_EQ(queue.Size(), 0u);
  Tick();  // a tick shows what the writer did in the one before
  EXPECT_EQ(Tip(), kTrayTip) << "written: the tip is plain again";
}

INSTANTIATE_TEST_SUITE_P(
    Calls, LateCallTest,
    testing::Values(LateCase{"none", true, false, 0, 0, TrayImage::kGood, -1},
                    LateCase{"locked_a_minute", true, true, 1, kCallLateMs, TrayImage::kGood, -1},
                    LateCase{"locked_longer", true, true, 1, kCallLateMs + 1, TrayImage::kBad, 1},
                    LateCase{"locked_130s", true, true, 3, 130000, TrayImage::kBad, 2},
                    LateCase{"down_130s", false, false, 2, 130000, TrayImage::kBad, 2},
                    LateCase{"down_a_minute", false, false, 2, kCallLateMs, TrayImage::kBad, -1}),
    [](const testing::TestParamInfo<LateCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace qelto
