#include "bench/bench_clock.h"

#include "recording/call_writer.h"

namespace qelto::bench {

std::uint32_t BenchClock::Tick() const {
  return system_.Tick() + offset_.load();
}

void BenchClock::SkipReconnectWait() {
  offset_ += kReconnectWaitMs + 1;
}

}  // namespace qelto::bench
