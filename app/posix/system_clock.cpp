#include "app/posix/system_clock.h"

#include <time.h>

namespace qelto {

std::uint32_t SystemClock::Tick() const {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto ms = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                  static_cast<unsigned long long>(now.tv_nsec) / 1'000'000ULL;
  return static_cast<std::uint32_t>(ms);  // wraps like the 32-bit tick it stands for
}

LocalDateTime SystemClock::Now() const {
  // Not time(): it reads the kernel's coarse clock, which can still show the previous second for
  // a few milliseconds after every other clock of the machine has moved on.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace qelto
