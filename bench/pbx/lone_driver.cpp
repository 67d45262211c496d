#include "lone_driver.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string_view>

#include "paced_times.h"

namespace qelto::bench {
namespace {

using namespace std::chrono_literals;

struct Heard {
  std::mutex mutex;
  std::condition_variable changed;
  std::optional<CallLedger> ledger;  // under mutex
  PacedTimes paced;                  // under mutex
  bool ready = false;                // under mutex
};

// The driver's callback has no context to carry: what it reaches is the process's one, as the
// driver is one per process.
Heard& Shared() {
  static Heard heard;
  return heard;
}

void CIDR_CALL OnEvent(std::int32_t code, const char16_t* text) {
  const std::u16string_view event(text);
  Heard& heard = Shared();
  std::lock_guard lock(heard.mutex);
  if (code > 0 && !event.empty() && heard.ledger) {
    const std::string digits(event.begin() + 1, event.end());  // after "C", ASCII digits
    heard.ledger->Heard(digits);
    heard.paced.Heard(digits, LoneDriver::Clock::now());
  } else if (event.find(u": pbx ready") != std::u16string_view::npos) {
    heard.ready = true;
  }
  heard.changed.notify_all();
}

}  // namespace

LoneDriver::LoneDriver(const std::string& library, const std::string& folder, int port,
                       std::size_t calls)
    : driver_(library, folder, port) {
  if (!driver_.problem().empty()) {
    problem_ = "cannot load the driver: " + driver_.problem();
    return;
  }
  Heard& heard = Shared();
  std::unique_lock lock(heard.mutex);
  heard.ledger.emplace(calls);
  lock.unlock();
  driver_.Register(OnEvent);
  lock.lock();
  if (!heard.changed.wait_for(lock, 30s, [&] { return heard.ready; })) {
    problem_ = "the driver loaded alone did not log in";
  }
}

LoneDriver::~LoneDriver() = default;  // the callback is withdrawn before the state can go

void LoneDriver::Sent(std::size_t index, Expected expected, Clock::time_point when) {
  std::lock_guard lock(Shared().mutex);
  Shared().ledger->Sent(index, expected);
  Shared().paced.Sent(index, when);
}

void LoneDriver::BeginPaced(std::size_t first, std::size_t count) {
  std::lock_guard lock(Shared().mutex);
  Shared().paced.Begin(first, count);
}

bool LoneDriver::WaitForAll(std::chrono::seconds patience) {
  Heard& heard = Shared();
  std::unique_lock lock(heard.mutex);
  return heard.changed.wait_for(lock, patience, [&] { return heard.ledger->outstanding() == 0; });
}

std::vector<double> LoneDriver::PacedMilliseconds() {
  std::lock_guard lock(Shared().mutex);
  return Shared().paced.Sorted();
}

std::string LoneDriver::Problems() {
  std::lock_guard lock(Shared().mutex);
  return Shared().ledger->Problems();
}

}  // namespace qelto::bench
