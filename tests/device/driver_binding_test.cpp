#include "device/driver_binding.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace qelto {
namespace {

// What the fake driver was told by its last registration.
struct Registration {
  CIDR_EventCallback callback = nullptr;
  std::int32_t value = -1;
  int calls = 0;
};
Registration lastRegistration;

const void* CIDR_CALL FakeInfo() {
  return u"POS CID\r\nVER 2.1\r\n";
}
std::int32_t CIDR_CALL FakeRegister(CIDR_EventCallback callback, std::int32_t value) {
  lastRegistration.callback = callback;
  lastRegistration.value = value;
  ++lastRegistration.calls;
  return 42;
}
void FakeEntry() {}

class FakeLibrary : public DriverLibrary {
 public:
  // `destroyed` is shared: the binding may outlive the loader that made the library.
  explicit FakeLibrary(std::map<std::string, void*> symbols, std::shared_ptr<int> destroyed)
      : symbols_(std::move(symbols)), destroyed_(destroyed) {}
  ~FakeLibrary() override { ++*destroyed_; }
  void* Symbol(const char* name) const override {
    const auto it = symbols_.find(name);
    return it == symbols_.end() ? nullptr : it->second;
  }

 private:
  std::map<std::string, void*> symbols_;
  std::shared_ptr<int> destroyed_;
};

class FakeLoader : public LibraryLoader {
 public:
  explicit FakeLoader(std::map<std::string, void*> symbols, bool present = true)
      : symbols_(std::move(symbols)), present_(present) {}
  std::unique_ptr<DriverLibrary> Load() override {
    if (!present_) return nullptr;
    return std::make_unique<FakeLibrary>(symbols_, destroyed);
  }
  std::shared_ptr<int> destroyed = std::make_shared<int>(0);

 private:
  std::map<std::string, void*> symbols_;
  bool present_;
};

std::map<std::string, void*> AllEntries() {
  return {{"CIDR_Info", reinterpret_cast<void*>(&FakeInfo)},
          {"CIDR_RegisterEvent", reinterpret_cast<void*>(&FakeRegister)},
          {"CIDR_SaveLine", reinterpret_cast<void*>(&FakeEntry)},
          {"CIDR_PlayLine", reinterpret_cast<void*>(&FakeEntry)}};
}

class DriverBindingTest : public testing::Test {
 protected:
  void SetUp() override { lastRegistration = {}; }
  // Leave no handler behind for the next test: the slot is process-wide.
  void TearDown() override { binding.WithdrawCallerEvent(); }
  DriverBinding binding;
};

TEST_F(DriverBindingTest, ReadyOnlyWithAllFourEntryPoints) {
  FakeLoader complete(AllEntries());
  binding.Load(complete);
  EXPECT_TRUE(binding.DriverReady());
  EXPECT_NE(binding.Info(), nullptr);

  auto entries = AllEntries();
  entries.erase("CIDR_PlayLine");
  FakeLoader missing(entries);
  DriverBinding partial;
  partial.Load(missing);
  EXPECT_FALSE(partial.DriverReady());
  EXPECT_EQ(partial.Info(), nullptr);
  EXPECT_EQ(*missing.destroyed, 0) << "the library stays loaded";

  FakeLoader absent({}, false);
  DriverBinding none;
  none.Load(absent);
  EXPECT_FALSE(none.DriverReady());
}

TEST_F(DriverBindingTest, RegistrationPassesTheStubAndTheValue) {
  FakeLoader loader(AllEntries());
  binding.Load(loader);
  EXPECT_EQ(binding.RegisterCallerEvent(5, [](std::int32_t, const std::u16string&) {}), 42);
  EXPECT_EQ(lastRegistration.callback, &DriverBinding::CallerEventStub);
  EXPECT_EQ(lastRegistration.value, 5);

  binding.RegisterCallerEvent(5, EventHandler());
  EXPECT_EQ(lastRegistration.callback, nullptr);
  EXPECT_EQ(lastRegistration.value, 0);
}

TEST_F(DriverBindingTest, StubCopiesTheTextAndCallsTheHandlerOnTheDriversThread) {
  FakeLoader loader(AllEntries());
  binding.Load(loader);
  std::int32_t code = -1;
  std::u16string text = u"unset";
  std::thread::id thread;
  binding.RegisterCallerEvent(5, [&](std::int32_t c, const std::u16string& t) {
    code = c;
    text = t;
    thread = std::this_thread::get_id();
  });

  DriverBinding::CallerEventStub(0, nullptr);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(text, u"");

  std::thread driverThread([] {
    char16_t buffer[] = u"C0912\0tail";
    DriverBinding::CallerEventStub(2, buffer);
    buffer[1] = u'X';  // the driver may reuse its buffer at once
  });
  const auto driverId = driverThread.get_id();
  driverThread.join();
  EXPECT_EQ(code, 2);
  EXPECT_EQ(text, u"C0912");
  EXPECT_EQ(thread, driverId);
}

TEST_F(DriverBindingTest, FailureInsideTheHandlerStaysOnOurSide) {
  FakeLoader loader(AllEntries());
  binding.Load(loader);
  binding.RegisterCallerEvent(
      5, [](std::int32_t, const std::u16string&) { throw std::runtime_error("handler failed"); });
  EXPECT_NO_THROW(DriverBinding::CallerEventStub(1, u"C1"));
}

TEST_F(DriverBindingTest, WithdrawalWaitsForARunningHandlerAndStopsLaterEvents) {
  FakeLoader loader(AllEntries());
  binding.Load(loader);
  std::mutex m;
  std::condition_variable cv;
  bool entered = false, withdrawn = false, handlerDone = false;
  std::atomic<int> calls{0};
  // The handler stays until the withdrawal has returned, or for a while: a withdrawal that
  // returns while it runs is seen whenever it returns within that while, which a correct one
  // never does.
  binding.RegisterCallerEvent(5, [&](std::int32_t, const std::u16string&) {
    ++calls;
    std::unique_lock lock(m);
    entered = true;
    cv.notify_all();
    cv.wait_for(lock, std::chrono::seconds(1), [&] { return withdrawn; });
    handlerDone = true;
  });

  std::thread driverThread([] { DriverBinding::CallerEventStub(1, u"C1"); });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return entered; });
  }
  bool handlerRanAtReturn = true;
  std::thread shutdown([&] {
    binding.WithdrawCallerEvent();
    std::lock_guard lock(m);
    handlerRanAtReturn = !handlerDone;
    withdrawn = true;
    cv.notify_all();
  });
  shutdown.join();
  driverThread.join();
  EXPECT_FALSE(handlerRanAtReturn) << "the withdrawal returned while the handler still ran";
  EXPECT_EQ(lastRegistration.callback, nullptr);

  DriverBinding::CallerEventStub(1, u"C2");  // a late event from a careless driver
  EXPECT_EQ(calls.load(), 1);
}

}  // namespace
}  // namespace qelto
