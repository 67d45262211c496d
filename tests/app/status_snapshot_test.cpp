// The status window's content as the recorder lives through its states: what the driver, the
// writer, the journal and the calls leave in the snapshot, and the Persian rows made of it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
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
#include "ui/support_report.h"

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
  explicit Recorder(bool threaded = false) : writerThread(threaded) {
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
  const bool writerThread;
  TMAIN_FRM form{FormServices{host, binding, clock, log, journal, damaged, rejected, settings,
                              databases, tray, labels, dialog, writerThread,
                              "/shop/rejected-calls.txt"}};
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
             u"C" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u"00" +
             std::u16string(1, static_cast<char16_t>(u'0' + i / 10));
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

// The window takes its snapshots on the user-interface thread while the driver's thread queues
// calls and the writer's thread writes them.
TEST(StatusSnapshotThreads, SeeCallsWrittenByTheWriterThread) {
  Recorder recorder(true);
  recorder.Start();
  recorder.DevicesUp();
  recorder.TickPastReconnectWait();
  constexpr int kCalls = 80;
  std::thread driverThread([&recorder] {
    for (int i = 0; i < kCalls; ++i) recorder.driver.Deliver(1, u"C0912");
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  bool allWritten = false;
  while (!allWritten && std::chrono::steady_clock::now() < deadline) {
    recorder.Tick();
    const StatusSnapshot snapshot = recorder.form.TakeStatusSnapshot();
    allWritten = snapshot.recent.size() == RecentCalls::kCapacity &&
                 snapshot.database.journalPending == 0 && snapshot.database.waiting.count == 0;
    for (const RecentCall& call : snapshot.recent) {
      allWritten = allWritten && call.state == RecentCallState::kWritten;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  driverThread.join();
  EXPECT_TRUE(allWritten);
  EXPECT_EQ(recorder.Db().inserts.size(), std::size_t{kCalls});
  recorder.form.FormClose();
}

struct SecretCase {
  const char* conf;    // POS_CIDR.conf as the shop wrote it
  const char* secret;  // never in the report
  const char* kept;    // in the report as written
};

const SecretCase kSecrets[] = {
    {"[device]\nkind = pbx\nhost = 10.0.0.5\nuser = qelto\nsecret = ab=c;d\n", "ab=c;d",
     "host = 10.0.0.5"},
    {"[device]\r\n  Secret=Tr0ub4dor\r\nline = 4\r\n", "Tr0ub4dor", "line = 4"},
    {"#secret = a-long-random-secret\nkind = sim\n", "a-long-random-secret", "kind = sim"},
    {"; password = hunter2\n", "hunter2", "; password ="},
    {"api_key = k-123456\ntoken=t-98765", "k-123456", "api_key ="},
    {"token=t-98765", "t-98765", "token="},
    {"pwd = p@ss\ninit = AT#CID=1\n", "p@ss", "init = AT#CID=1"},
};

class SupportReportSecrets : public testing::TestWithParam<SecretCase> {};

TEST_P(SupportReportSecrets, NeverCarriesAPasswordOrASecret) {
  Recorder recorder;
  recorder.settings.content = "x\nsrv\nShop\n1\nsa\nS3cret!\n";
  recorder.Start();
  std::string log;
  for (int i = 1; i <= 250; ++i) log += "2026-12-07 23:05:12 - line " + std::to_string(i) + "\r\n";
  SupportFacts facts;
  facts.version = "0.1.0";
  facts.workingFolder = "/home/shop/.local/state/qelto-callerid";
  facts.driverConfPath = "/etc/qelto-callerid/POS_CIDR.conf";
  facts.driverConf = GetParam().conf;
  facts.logText = log;

  const std::string report = BuildSupportReport(facts, recorder.form.TakeStatusSnapshot());
  EXPECT_THAT(report, Not(HasSubstr(GetParam().secret)));
  EXPECT_THAT(report, Not(HasSubstr("S3cret!")));
  EXPECT_THAT(report, HasSubstr(GetParam().kept));
  EXPECT_THAT(report, HasSubstr("****"));
  EXPECT_THAT(report, HasSubstr("Place: srv\r\n"));
  EXPECT_THAT(report, HasSubstr("User: sa\r\n"));
  EXPECT_THAT(report, HasSubstr(facts.workingFolder));
  // The log's last 200 lines, and no more.
  EXPECT_THAT(report, Not(HasSubstr("- line 50\r\n")));
  EXPECT_THAT(report, HasSubstr("- line 51\r\n"));
  EXPECT_THAT(report, HasSubstr("- line 250\r\n"));
  EXPECT_EQ(report.find('\n') - 1, report.find('\r')) << "CR LF line ends";
}

INSTANTIATE_TEST_SUITE_P(Confs, SupportReportSecrets, testing::ValuesIn(kSecrets));

// What the window says under the report's button: the outcome first, the path on a line of its
// own, then the reason if there is one; a report written but not copied never says «کپي شد».
TEST(ReportOutcomeTexts, SayWhatBecameOfTheReport) {
  const std::string path = "C:\\ProgramData\\QELTO Caller ID\\support-report.txt";
  struct Case {
    std::string shown;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {ReportWrittenText(path), {"گزارش نوشته و در حافظه کپي شد:", path}},
      {ReportFailedText(path, "Access is denied."),
       {"گزارش نوشته نشد:", path, "Access is denied."}},
      {ReportNotCopiedText(path, "Access is denied."),
       {"گزارش نوشته شد، اما در حافظه کپي نشد:", path, "Access is denied."}},
      {ReportNotCopiedText(path, ""), {"گزارش نوشته شد، اما در حافظه کپي نشد:", path}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines;
    std::string::size_type from = 0;
    for (std::string::size_type end; (end = c.shown.find('\n', from)) != std::string::npos;
         from = end + 1) {
      lines.push_back(c.shown.substr(from, end - from));
    }
    lines.push_back(c.shown.substr(from));
    EXPECT_THAT(lines, ElementsAreArray(c.lines)) << c.shown;
  }
}

TEST(LastLines, KeepsTheEndWithItsLineEnds) {
  EXPECT_EQ(LastLines("a\nb\nc\n", 2), "b\nc\n");
  EXPECT_EQ(LastLines("a\nb\nc", 2), "b\nc");
  EXPECT_EQ(LastLines("a\nb\n", 5), "a\nb\n");
  EXPECT_EQ(LastLines("a\nb\n", 0), "");
  EXPECT_EQ(LastLines("", 3), "");
}

}  // namespace
}  // namespace qelto
