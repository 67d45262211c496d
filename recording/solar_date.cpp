#include "recording/solar_date.h"

namespace qelto {
namespace {

// Day 79 of the Gregorian year is 20 March in a common year and 19 March in a leap year.
constexpr int kLastDayBeforeNewYear = 79;
constexpr int kDaysInLongMonths = 186;  // months 1 to 6 have 31 days each

bool IsGregorianLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInGregorianMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsGregorianLeapYear(year) ? 29 : kDays[month - 1];
}

// 1 for 1 January, up to 366 for 31 December of a leap year.
int DayOfYear(const LocalDateTime& moment) {
  int days = moment.day;
  for (int month = 1; month < moment.month && month <= 12; ++month) {
    days += DaysInGregorianMonth(moment.year, month);
  }
  return days;
}

bool HasSolarLeapDay(int gregorianYear) {
  return (gregorianYear - 1981) % 4 == 0;
}

std::string TwoDigits(int value) {
  std::string text = std::to_string(value);
  return text.size() == 1 ? "0" + text : text;
}

struct SolarDay {
  int year;
  int month;
  int day;
};

// `dayInYear` counts from 1 on 1 Farvardin.
SolarDay FromDayInYear(int solarYear, int dayInYear) {
  if (dayInYear <= kDaysInLongMonths) {
    return {solarYear, (dayInYear - 1) / 31 + 1, (dayInYear - 1) % 31 + 1};
  }
  const int inShortMonths = dayInYear - kDaysInLongMonths;
  return {solarYear, (inShortMonths - 1) / 30 + 7, (inShortMonths - 1) % 30 + 1};
}

SolarDay ToSolarDay(int gregorianYear, int dayOfYear) {
  const bool leapDay = HasSolarLeapDay(gregorianYear);
  if (dayOfYear == kLastDayBeforeNewYear && leapDay) return {gregorianYear - 622, 12, 30};
  if (dayOfYear > kLastDayBeforeNewYear) {
    return FromDayInYear(gregorianYear - 621, dayOfYear - kLastDayBeforeNewYear);
  }
  return FromDayInYear(gregorianYear - 622, dayOfYear + (leapDay ? 287 : 286));
}

std::string TimeOfDay(const LocalDateTime& moment) {
  return TwoDigits(moment.hour) + ":" + TwoDigits(moment.minute) + ":" + TwoDigits(moment.second);
}

}  // namespace

SolarDate ToSolarDate(const LocalDateTime& moment) {
  const SolarDay solar = ToSolarDay(moment.year, DayOfYear(moment));
  const int yearInCentury = (solar.year % 100 + 100) % 100;
  return {TwoDigits(yearInCentury), TwoDigits(solar.month), TwoDigits(solar.day),
          TimeOfDay(moment)};
}

}  // namespace qelto
