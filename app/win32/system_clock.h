#pragma once

#include "common/clock.h"

namespace qelto {

// The machine's clocks on Windows: GetTickCount, the 32-bit millisecond count since boot, and the
// local time as the shop's clock shows it.
class SystemClock : public Clock {
 public:
  std::uint32_t Tick() const override;
  LocalDateTime Now() const override;
};

}  // namespace qelto
