#include "app/startup.h"

#include <gtest/gtest.h>

#include "app/instance_guard.h"
#include "common/texts.h"
#include "device/driver_binding.h"
#include "support/fake_driver.h"

namespace qelto {
namespace {

using testing_support::FakeDriver;

class CountingGuard : public InstanceGuard {
 public:
  explicit CountingGuard(bool free) : free_(free) {}
  bool Acquire() override {
    ++calls;
    return free_;
  }
  int calls = 0;

 private:
  bool free_;
};

StartupVerdict Check(FakeDriver& driver, CountingGuard& guard) {
  DriverBinding binding;
  auto loader = driver.Loader();
  binding.Load(*loader);
  return CheckStartup(binding, guard);
}

TEST(Startup, RunsWithACurrentDriverAndNoOtherCopy) {
  FakeDriver driver;
  CountingGuard guard(true);
  EXPECT_EQ(Check(driver, guard), StartupVerdict::kRun);
  EXPECT_EQ(guard.calls, 1);
}

TEST(Startup, MissingEntryPointIsADriverNotInstalled) {
  FakeDriver driver;
  driver.Omit("CIDR_PlayLine");
  CountingGuard guard(true);
  EXPECT_EQ(Check(driver, guard), StartupVerdict::kDriverNotInstalled);
  EXPECT_EQ(guard.calls, 0) << "a refused start leaves no guard behind";
  EXPECT_STREQ(StartupBoxText(StartupVerdict::kDriverNotInstalled), kDriverNotInstalledText);
}

TEST(Startup, OldOrUnreadableVersionIsRefused) {
  for (const char16_t* info : {u"POS CID\r\nVER 1.9\r\n", u"CID\r\nVER 3.0\r\n", u""}) {
    FakeDriver driver;
    driver.SetInfo(info);
    CountingGuard guard(true);
    EXPECT_EQ(Check(driver, guard), StartupVerdict::kDriverOutdated);
    EXPECT_EQ(guard.calls, 0);
  }
  EXPECT_STREQ(StartupBoxText(StartupVerdict::kDriverOutdated), kDriverOutdatedText);
}

TEST(Startup, SecondCopyEndsSilently) {
  FakeDriver driver;
  CountingGuard guard(false);
  EXPECT_EQ(Check(driver, guard), StartupVerdict::kAlreadyRunning);
  EXPECT_EQ(StartupBoxText(StartupVerdict::kAlreadyRunning), nullptr);
}

}  // namespace
}  // namespace qelto
