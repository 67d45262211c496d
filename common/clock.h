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

// Whether `t` is a date of the Gregorian calendar (years 1 to 9999) and a time of day.
constexpr bool IsRealMoment(const LocalDateTime& t) {
  if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1) return false;
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  const int days = kDays[t.month - 1] + (t.month == 2 && leap ? 1 : 0);
  return t.day <= days && t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 &&
         t.second >= 0 && t.second < 60;
}

// How long has passed from `since` to `now`, correct across the wrap of the tick counter.
constexpr std::uint32_t TicksSince(std::uint32_t now, std::uint32_t since) {
  return now - since;
}

}  // namespace qelto
