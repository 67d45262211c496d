#pragma once

#include <atomic>
#include <cstdint>

#include "app/posix/system_clock.h"
#include "common/clock.h"

namespace qelto::bench {

// The machine's clock, whose tick can be moved ahead: the writer opens its connection only when
// more than 15 s have passed since it was made, and a benchmark has no reason to wait for that.
// Safe to read from several threads.
class BenchClock : public Clock {
 public:
  std::uint32_t Tick() const override;
  LocalDateTime Now() const override { return system_.Now(); }
  // Moves the tick past the writer's reconnection wait.
  void SkipReconnectWait();

 private:
  SystemClock system_;
  std::atomic<std::uint32_t> offset_{0};
};

}  // namespace qelto::bench
