// The status window's content as the recorder lives through its states: what the driver, the
// writer, the journal and the calls leave in the snapshot, and the Persian rows made of it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "device/driver_binding.h"
#include "support/fake_clock.h"
#include "support/fake_driver.h"
#include "support/fake_settings.h"
#include "support/fake_ui.h"
#include "support/memory_durable_file.h"
#include "support/memory_log_files.h"
#include "ui/status_view.h"

namespace qelto {
namespace {

using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::Not;
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

class QuietHost : public FormHost {
 public:
  void EnableTimer(bool) override {}
  void RequestQuit() override {}
  void EndProcessNow() override {}
};

// 2026-12-07 23:05:12, the fake clock's moment, in the Solar calendar.
constexpr const char* kNow = "05/09/16 23:05:12";

struct Recorder {
  Recorder() {
    auto loader = driver.Loader();
    binding.Load(*loader);
    clock.SetTick(1000);
  }
  ~Recorder() { binding.WithdrawCallerEvent(); }

  void Start() { form.FormCreate(); }
  testing_support::FakeDatabase& Db() { return *databases.created; }
  // Ticks until the first connection attempt is due and made (more than 15 s after start).
  void TickPastReconnectWait() {
    for (int i = 0; i < 32; ++i) Tick();
  }
  void Tick() {
    clock.Advance(500);
    form.Timer1Timer();
  }
  void DevicesUp() { driver.Deliver(0, u"SDevice 1 connected"); }

  FakeDriver driver;
  DriverBinding binding;
  FakeClock clock;
  MemoryLogFiles log;
  QuietHost host;
  MemoryDurableFile journal;
  MemoryDurableFile damaged;
  MemoryDurableFile rejected;
  FakeSettings settings;
  FakeDatabaseFactory databases;
  FakeTray tray;
  FakeLabels labels;
  FakeDialog dialog;
  TMAIN_FRM form{FormServices{host, binding, clock, log, journal, damaged, rejected, settings,
                              databases, tray, labels, dialog, false, "/shop/rejected-calls.txt"}};
};

struct ShownRow {
  std::string value;
  RowTone tone;
};

struct StatusCase {
  const char* name;
  std::function<void(Recorder&)> before;  // before the start: settings, journal, driver
  std::function<void(Recorder&)> run;     // after the start
  // Rows of the database and device sections, by label; only these are checked.
  std::map<std::string, ShownRow> rows;
  std::vector<std::string> calls;  // "time | line | number | state", newest first
  std::size_t callCount = 0;       // when `calls` lists only the first of many
};

void PrintTo(const StatusCase& c, std::ostream* out) {
  *out << c.name;
}

void Nothing(Recorder&) {}

const StatusCase kCases[] = {
    {"fresh start, the database not tried yet",
     Nothing,
     Nothing,
     {{"نوع", {"SQLite", RowTone::kPlain}},
      {"فايل", {"calls.sqlite", RowTone::kPlain}},
      {"اتصال", {std::string("قطع از ") + kNow, RowTone::kBad}},
      {"آخرين خطا", {"ندارد", RowTone::kPlain}},
      {"در انتظار ثبت", {"0", RowTone::kPlain}},
      {"کنار گذاشته", {"0 - /shop/rejected-calls.txt", RowTone::kPlain}},
      {"نسخه درايور", {"2.1", RowTone::kPlain}},
      {"دستگاه هاي وصل", {"0/1", RowTone::kBad}},
      {"Line 1", {"وصل", RowTone::kGood}},
      {"آخرين پيام درايور", {"ندارد", RowTone::kPlain}}},
     {}},
    {"connected, a call written",
     Nothing,
     [](Recorder& r) {
       r.DevicesUp();
       r.TickPastReconnectWait();
       r.driver.Deliver(2, u"C09121234567");
       r.Tick();
     },
     {{"اتصال", {std::string("وصل از ") + kNow, RowTone::kGood}},
      {"در انتظار ثبت", {"0", RowTone::kPlain}},
      {"در دفتر تماس ها", {"0", RowTone::kPlain}},
      {"دستگاه هاي وصل", {"1/1", RowTone::kGood}},
      {"آخرين پيام درايور", {std::string(kNow) + " Device 1 connected", RowTone::kPlain}}},
     {std::string(kNow) + " | 2 | 09121234567 | ثبت شد"}},
    {"SQL Server down with an error, a call waiting",
     [](Recorder& r) {
       r.settings.content = "x\nsrv\\SQLEXPRESS\nShop\n1\nsa\nS3cret!\n\n\n\n12\n";
     },
     [](Recorder& r) {
       r.DevicesUp();
       r.Db().serverDown = true;
       r.driver.Deliver(1, u"C0215550001");
       r.TickPastReconnectWait();
     },
     {{"نوع", {"SQL Server", RowTone::kPlain}},
      {"سرور", {"srv\\SQLEXPRESS", RowTone::kPlain}},
      {"نام بانک", {"Shop", RowTone::kPlain}},
      {"ورود", {"sa", RowTone::kPlain}},
      {"کد شعبه", {"12", RowTone::kPlain}},
      {"اتصال", {std::string("قطع از ") + kNow, RowTone::kBad}},
      {"آخرين خطا", {std::string(kNow) + " server unreachable", RowTone::kPlain}},
      {"در انتظار ثبت", {"1 (طولاني ترين انتظار به ثانيه 16)", RowTone::kPlain}},
      {"در دفتر تماس ها", {"1", RowTone::kPlain}}},
     {std::string(kNow) + " | 1 | 0215550001 | در انتظار بانک اطلاعاتي"}},
    {"a call waiting longer than a minute is shown as late",
     Nothing,
     [](Recorder& r) {
       r.DevicesUp();
       r.Db().serverDown = true;
       r.driver.Deliver(1, u"C0215550001");
       r.clock.Advance(61000);
     },
     {{"در انتظار ثبت", {"1 (طولاني ترين انتظار به ثانيه 61)", RowTone::kBad}}},
     {std::string(kNow) + " | 1 | 0215550001 | در انتظار بانک اطلاعاتي"}},
    {"a call refused three times is set aside, the next one written",
     [](Recorder& r) { r.rejected.content = "2026-12-01 09:00:00 - 1,5 - earlier\r\n"; },
     [](Recorder& r) {
       r.DevicesUp();
       r.TickPastReconnectWait();
       r.Db().refuse = "'777'";
       r.driver.Deliver(3, u"C777");
       r.driver.Deliver(3, u"C888");
       for (int i = 0; i < 3; ++i) r.Tick();
     },
     {{"آخرين خطا", {std::string(kNow) + " value too long for column", RowTone::kPlain}},
      {"کنار گذاشته", {"2 - /shop/rejected-calls.txt", RowTone::kBad}}},
     {std::string(kNow) + " | 3 | 888 | ثبت شد",
      std::string(kNow) + " | 3 | 777 | کنار گذاشته شد"}},
    {"a device lost",
     [](Recorder& r) { r.driver.SetInfo(InfoWithDevices(2, 2)); },
     [](Recorder& r) {
       r.driver.Deliver(0, u"SDevice 2 connected");
       r.driver.SetInfo(InfoWithDevices(1, 2));
       r.clock.SetNow({2026, 12, 7, 23, 6, 0});
       r.driver.Deliver(0, u"SDevice 2 disconnected");
     },
     {{"دستگاه هاي وصل", {"1/2", RowTone::kBad}},
      {"Line 1", {"وصل", RowTone::kGood}},
      {"Line 2", {"قطع", RowTone::kBad}},
      {"آخرين پيام درايور", {"05/09/16 23:06:00 Device 2 disconnected", RowTone::kPlain}}},
     {}},
    {"calls recovered from the journal, then written",
     [](Recorder& r) {
       r.journal.content =
           "C 7 2026-12-06 10:00:00 1,0215550001\nC 8 2026-12-06 10:00:05 2,0912\nW 8\n"
           "C 9 2026-12-06 10:01:00 2,0913\n";
     },
     [](Recorder& r) {
       r.DevicesUp();
       r.driver.Deliver(1, u"C55");
       r.TickPastReconnectWait();
     },
     {{"در دفتر تماس ها", {"0", RowTone::kPlain}}},
     {std::string(kNow) + " | 1 | 55 | ثبت شد",
      "05/09/15 10:01:00 | 2 | 0913 | ثبت شد (بازيابي از دفتر)",
      "05/09/15 10:00:00 | 1 | 0215550001 | ثبت شد (بازيابي از دفتر)"}},
    {"recovered calls waiting for the database",
     [](Recorder& r) { r.journal.content = "C 7 2026-12-06 10:00:00 1,0215550001\n"; },
     Nothing,
     {{"در دفتر تماس ها", {"1", RowTone::kPlain}}},
     {"05/09/15 10:00:00 | 1 | 0215550001 | در انتظار بانک اطلاعاتي (بازيابي از دفتر)"}},
    {"the last 50 calls only, newest first",
     Nothing,
     [](Recorder& r) {
       for (int i = 1; i <= 60; ++i) {
         const std::u16string text =
             u"C" + std::u16string(1, u'0' + i % 10) + u"00" + std::u16string(1, u'0' + i / 10);
         r.driver.Deliver(4, text.c_str());
       }
     },
     {{"در انتظار ثبت", {"60 (طولاني ترين انتظار به ثانيه 0)", RowTone::kPlain}}},
     {std::string(kNow) + " | 4 | 0006 | در انتظار بانک اطلاعاتي",
      std::string(kNow) + " | 4 | 9005 | در انتظار بانک اطلاعاتي"},
     50},
};

class StatusSnapshotTest : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusSnapshotTest, ShowsTheRowsOfTheState) {
  const StatusCase& c = GetParam();
  Recorder recorder;
  c.before(recorder);
  recorder.Start();
  c.run(recorder);

  const StatusSnapshot snapshot = recorder.form.TakeStatusSnapshot();
  const StatusView view = BuildStatusView(snapshot);
  std::map<std::string, ShownRow> shown;
  for (const auto* section : {&view.database, &view.devices}) {
    for (const StatusRow& row : *section) shown[row.label] = {row.value, row.tone};
  }
  for (const auto& [label, expected] : c.rows) {
    ASSERT_TRUE(shown.count(label)) << label;
    EXPECT_EQ(shown[label].value, expected.value) << label;
    EXPECT_EQ(shown[label].tone, expected.tone) << label;
  }
  std::vector<std::string> calls;
  for (const CallRow& row : view.calls) {
    calls.push_back(row.time + " | " + row.line + " | " + row.number + " | " + row.state);
  }
  EXPECT_EQ(calls.size(), c.callCount ? c.callCount : c.calls.size());
  calls.resize(std::min(calls.size(), c.calls.size()));
  EXPECT_THAT(calls, ElementsAreArray(c.calls));
  // The password never reaches the window.
  for (const auto& [label, row] : shown) EXPECT_THAT(row.value, Not(HasSubstr("S3cret!")));
}

INSTANTIATE_TEST_SUITE_P(States, StatusSnapshotTest, testing::ValuesIn(kCases));

}  // namespace
}  // namespace qelto
