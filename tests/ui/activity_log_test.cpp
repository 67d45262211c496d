#include "ui/activity_log.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fake_clock.h"

namespace qelto {
namespace {

using testing_support::FakeClock;

TEST(FormatLogLine, StampsGregorianLocalTimeAndEndsWithCrLf) {
  EXPECT_EQ(FormatLogLine({2026, 12, 7, 23, 5, 12}, "Application Started!"),
            "2026-12-07 23:05:12 - Application Started!\r\n");
  EXPECT_EQ(FormatLogLine({2021, 3, 1, 0, 0, 9}, ""), "2021-03-01 00:00:09 - \r\n");
}

// Files that exist only in memory and fail on demand.
class FakeLogFiles : public LogFiles {
 public:
  struct File : LogFile {
    explicit File(FakeLogFiles& owner) : owner_(owner) {}
    bool Append(std::string_view bytes) override {
      if (owner_.failWrites) return false;
      owner_.content.append(bytes);
      return true;
    }
    FakeLogFiles& owner_;
  };

  std::int64_t FileSizeOf(const std::string&) override { return size; }
  bool CreateEmpty(const std::string&) override {
    ++created;
    content.clear();
    return true;
  }
  std::unique_ptr<LogFile> OpenForAppend(const std::string&) override {
    if (failOpen) return nullptr;
    return std::make_unique<File>(*this);
  }

  std::int64_t size = -1;
  int created = 0;
  bool failOpen = false;
  bool failWrites = false;
  std::string content;
};

struct SizeCase {
  std::int64_t size;
  bool emptied;
};

class LogSizeRule : public testing::TestWithParam<SizeCase> {};

TEST_P(LogSizeRule, EmptiesOnlyMissingOrOversizedLogs) {
  FakeLogFiles files;
  files.size = GetParam().size;
  FakeClock clock;
  ActivityLog log(files, clock);
  log.Open();
  EXPECT_EQ(files.created, GetParam().emptied ? 1 : 0);
  EXPECT_TRUE(log.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Sizes, LogSizeRule,
                         testing::Values(SizeCase{-1, true}, SizeCase{0, false},
                                         SizeCase{10'000'000, false}, SizeCase{10'000'001, true},
                                         SizeCase{std::int64_t{1} << 32, true}));

TEST(ActivityLog, LogIsOffWhenItCannotBeOpened) {
  FakeLogFiles files;
  files.failOpen = true;
  FakeClock clock;
  ActivityLog log(files, clock);
  log.Open();
  EXPECT_FALSE(log.IsOpen());
  log.WriteLog("dropped");
  EXPECT_EQ(files.content, "");
}

TEST(ActivityLog, FailedWriteLosesOnlyThatLine) {
  FakeLogFiles files;
  FakeClock clock;
  ActivityLog log(files, clock);
  log.Open();
  files.failWrites = true;
  log.WriteLog("lost");
  files.failWrites = false;
  log.WriteLog("kept");
  EXPECT_EQ(files.content, "2026-12-07 23:05:12 - kept\r\n");
}

TEST(ActivityLog, NothingIsWrittenAfterClose) {
  FakeLogFiles files;
  FakeClock clock;
  ActivityLog log(files, clock);
  log.Open();
  log.WriteLog("Application Closed");
  log.Close();
  log.WriteLog("late");
  EXPECT_EQ(files.content, "2026-12-07 23:05:12 - Application Closed\r\n");
  EXPECT_FALSE(log.IsOpen());
}

}  // namespace
}  // namespace qelto
