#pragma once

#include "common/clock.h"

namespace qelto {

// The machine's clocks: a monotonic millisecond tick cut to 32 bits, and the local time.
class SystemClock : public Clock {
 public:
  std::uint32_t Tick() const override;
  LocalDateTime Now() const override;
};

}  // namespace qelto
