#pragma once

#include <cstdint>

namespace qelto {

// A local calendar date and wall-clock time, as the shop's clock shows it.
struct LocalDateTime {
  int year = 0;    // Gregorian year, e.g. 2026
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
};

// Time as the recorder sees it. Passed in so that tests can drive time by hand.
class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start, 32 bits wide: it wraps after about 49.7 days, so every
  // wait must be taken as an unsigned 32-bit difference of two ticks.
  virtual std::uint32_t Tick() const = 0;
  // The current local date and time.
  virtual LocalDateTime Now() const = 0;
};

// How long has passed from `since` to `now`, correct across the wrap of the tick counter.
constexpr std::uint32_t TicksSince(std::uint32_t now, std::uint32_t since) {
  return now - since;
}

}  // namespace qelto
