#pragma once

#include <string>

#include "common/clock.h"

namespace qelto {

// The date stamp every call record carries: Solar Hijri year, month and day, and the time of day.
struct SolarDate {
  std::string year;   // Solar Hijri year modulo 100, always two digits ("99", "00", "04")
  std::string month;  // "01".."12"
  std::string day;    // "01".."31"
  std::string time;   // "HH:mm:ss", 24-hour clock, colon-separated
};

// Stamps `moment` by a fixed rule on the Gregorian year and the day of the year, not by a general
// calendar: the Solar year starts on 20 March in Gregorian leap years and on 21 March otherwise,
// and its leap day (day 30 of month 12, on 20 March) falls in the Gregorian years Y with
// (Y - 1981) divisible by 4. Where the real calendar departs from that four-year pattern the stamp
// is a day off; the records already in the shop's database follow this rule, so it is kept.
// `moment` must be a valid calendar date; the time of day never affects the date.
SolarDate ToSolarDate(const LocalDateTime& moment);

}  // namespace qelto
