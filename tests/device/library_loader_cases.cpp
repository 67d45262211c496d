// The test driver variants through the platform's loader (library_loader_bench.h), read as the
// recorder reads them: the same table and the same checks on Linux and on Windows.

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "device/driver_binding.h"
#include "device/driver_info.h"
#include "library_loader_bench.h"

namespace qelto {
namespace {

using testing_support::LastErrorOf;
using testing_support::MakeLoader;
using testing_support::VariantFolder;

struct Loaded {
  explicit Loaded(const char* variant) : loader(MakeLoader(VariantFolder(variant))) {
    driver.Load(*loader);
  }
  std::unique_ptr<LibraryLoader> loader;
  DriverBinding driver;
};

TEST(LibraryLoader, EachVariantIsBoundAndItsVersionCheckedAsItIsRead) {
  struct Case {
    const char* variant;
    bool ready;
    const char* version;  // as DriverVersion gives it: "+" for UTF-16, "-" for 8-bit text
    int connected;
    std::optional<bool> accepted;  // not below the required version; unchecked when unset
  };
  const Case cases[] = {
      {"v2_1", true, "+2.1", 1, true},
      {"v1_9", true, "+1.9", 1, false},
      {"v2_0", true, "+2.0", 1, true},
      {"v10_0", true, "+10.0", 1, true},
      {"ansi_v1_5", true, "-1.5", 1, std::nullopt},  // counted from the 8-bit reading
      {"not_pos", true, "", 1, false},               // no "POS" at its start, so no version
      {"missing_playline", false, "", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variant);
    const Loaded loaded(c.variant);
    EXPECT_EQ(loaded.driver.DriverReady(), c.ready) << LastErrorOf(*loaded.loader);
    if (!c.ready) {
      EXPECT_EQ(loaded.driver.Info(), nullptr);
    }
    EXPECT_EQ(DriverVersion(loaded.driver), c.version);
    EXPECT_EQ(ConnectedDeviceCount(loaded.driver), c.connected);
    if (c.accepted) {
      EXPECT_EQ(CheckDriverVersion(loaded.driver, kRequiredDriverVersion), *c.accepted);
    }
  }
}

// The test driver's own entry point that calls the registered callback, as a driver's thread does.
using DeliverFunction = std::int32_t(CIDR_CALL*)(std::int32_t code, const char16_t* text);

// Loading the same file again hands out the library already loaded, with its registration.
DeliverFunction Deliverer(LibraryLoader& loader) {
  const auto library = loader.Load();
  return library ? reinterpret_cast<DeliverFunction>(library->Symbol("TestDriver_Deliver"))
                 : nullptr;
}

std::u16string Tagged(std::int32_t code, const std::u16string& text) {
  const std::string digits = std::to_string(code);
  return std::u16string(digits.begin(), digits.end()) + u":" + text;
}

// The callback crosses the driver interface in the driver's calling convention (stdcall on 32-bit
// Windows): a mismatch would unbalance the driver's stack at the first event. Events come from
// the driver's own threads, and a failure in the handler must not unwind into the driver.
TEST(LibraryLoader, EventsFromTheDriversThreadsReachTheHandler) {
  Loaded current("v2_1");
  ASSERT_TRUE(current.driver.DriverReady()) << LastErrorOf(*current.loader);
  std::vector<std::u16string> texts;
  std::mutex lock;
  current.driver.RegisterCallerEvent(kRegisterEventValue,
                                     [&](std::int32_t code, const std::u16string& text) {
                                       std::lock_guard guard(lock);
                                       texts.push_back(Tagged(code, text));
                                       if (code == 9) throw std::runtime_error("handler failed");
                                     });
  const DeliverFunction deliver = Deliverer(*current.loader);
  ASSERT_NE(deliver, nullptr);
  EXPECT_EQ(deliver(0, u"S1"), 1);
  std::thread driverThread([&] {
    deliver(2, u"C09121234567");
    deliver(9, u"C1");
    deliver(3, nullptr);
  });
  driverThread.join();
  current.driver.WithdrawCallerEvent();
  EXPECT_EQ(deliver(4, u"C5"), 0) << "the driver was told the callback is gone";
  const std::vector<std::u16string> expected = {u"0:S1", u"2:C09121234567", u"9:C1", u"3:"};
  EXPECT_EQ(texts, expected);
}

}  // namespace
}  // namespace qelto
