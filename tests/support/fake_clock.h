#pragma once

#include <atomic>
#include <cstdint>

#include "common/clock.h"

namespace qelto::testing_support {

// A clock that moves only when told to. The tick may be set near 2^32 to test the wrap.
class FakeClock : public Clock {
 public:
  explicit FakeClock(std::uint32_t tick = 0) : tick_(tick) {}
  std::uint32_t Tick() const override { return tick_.load(); }
  LocalDateTime Now() const override { return now_; }

  void SetTick(std::uint32_t tick) { tick_ = tick; }
  void Advance(std::uint32_t ms) { tick_ += ms; }
  void SetNow(const LocalDateTime& now) { now_ = now; }

 private:
  std::atomic<std::uint32_t> tick_{0};
  LocalDateTime now_{2026, 12, 7, 23, 5, 12};
};

}  // namespace qelto::testing_support
