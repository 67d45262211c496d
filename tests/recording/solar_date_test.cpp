#include "recording/solar_date.h"

#include <gtest/gtest.h>

#include <ostream>

namespace qelto {
namespace {

struct StampCase {
  LocalDateTime moment;
  const char* year;
  const char* month;
  const char* day;
  const char* time;
};

std::ostream& operator<<(std::ostream& os, const StampCase& c) {
  return os << c.moment.year << '-' << c.moment.month << '-' << c.moment.day << ' ' << c.moment.hour
            << ':' << c.moment.minute << ':' << c.moment.second;
}

class SolarDateWorkedExample : public ::testing::TestWithParam<StampCase> {};

TEST_P(SolarDateWorkedExample, MatchesTheStamp) {
  const StampCase& c = GetParam();
  const SolarDate stamp = ToSolarDate(c.moment);
  EXPECT_EQ(stamp.year, c.year);
  EXPECT_EQ(stamp.month, c.month);
  EXPECT_EQ(stamp.day, c.day);
  EXPECT_EQ(stamp.time, c.time);
}

INSTANTIATE_TEST_SUITE_P(
    RecordedStamps, SolarDateWorkedExample,
    ::testing::Values(StampCase{{2019, 3, 20, 14, 5, 9}, "97", "12", "29", "14:05:09"},
                      StampCase{{2019, 3, 21, 0, 0, 0}, "98", "01", "01", "00:00:00"},
                      StampCase{{2019, 9, 22, 12, 0, 0}, "98", "06", "31", "12:00:00"},
                      StampCase{{2019, 9, 23, 12, 0, 0}, "98", "07", "01", "12:00:00"},
                      StampCase{{2019, 12, 31, 23, 59, 59}, "98", "10", "10", "23:59:59"},
                      StampCase{{2020, 1, 1, 0, 0, 1}, "98", "10", "11", "00:00:01"},
                      StampCase{{2020, 2, 19, 9, 5, 3}, "98", "11", "30", "09:05:03"},
                      StampCase{{2020, 2, 29, 10, 0, 0}, "98", "12", "10", "10:00:00"},
                      StampCase{{2020, 3, 19, 10, 0, 0}, "98", "12", "29", "10:00:00"},
                      StampCase{{2020, 3, 20, 10, 0, 0}, "99", "01", "01", "10:00:00"},
                      StampCase{{2020, 9, 21, 10, 0, 0}, "99", "06", "31", "10:00:00"},
                      StampCase{{2020, 12, 31, 10, 0, 0}, "99", "10", "11", "10:00:00"},
                      StampCase{{2021, 1, 1, 10, 0, 0}, "99", "10", "12", "10:00:00"},
                      StampCase{{2021, 2, 18, 10, 0, 0}, "99", "11", "30", "10:00:00"},
                      StampCase{{2021, 3, 19, 10, 0, 0}, "99", "12", "29", "10:00:00"},
                      StampCase{{2021, 3, 20, 10, 0, 0}, "99", "12", "30", "10:00:00"},
                      StampCase{{2021, 3, 21, 10, 0, 0}, "00", "01", "01", "10:00:00"},
                      StampCase{{2022, 3, 20, 10, 0, 0}, "00", "12", "29", "10:00:00"},
                      StampCase{{2022, 3, 21, 10, 0, 0}, "01", "01", "01", "10:00:00"},
                      StampCase{{2025, 3, 20, 10, 0, 0}, "03", "12", "30", "10:00:00"},
                      StampCase{{2025, 3, 21, 10, 0, 0}, "04", "01", "01", "10:00:00"},
                      StampCase{{2029, 3, 20, 10, 0, 0}, "07", "12", "30", "10:00:00"},
                      StampCase{{2029, 3, 21, 10, 0, 0}, "08", "01", "01", "10:00:00"}));

// 20 March: day 30 of month 12 when (Y - 1981) is divisible by 4, new year in Gregorian leap
// years, day 29 of month 12 otherwise.
INSTANTIATE_TEST_SUITE_P(
    TwentiethOfMarch, SolarDateWorkedExample,
    ::testing::Values(StampCase{{1997, 3, 20, 8, 0, 0}, "75", "12", "30", "08:00:00"},
                      StampCase{{2024, 3, 20, 8, 0, 0}, "03", "01", "01", "08:00:00"},
                      StampCase{{2000, 3, 20, 8, 0, 0}, "79", "01", "01", "08:00:00"},
                      StampCase{{2100, 3, 20, 8, 0, 0}, "78", "12", "29", "08:00:00"},
                      StampCase{{2023, 3, 20, 8, 0, 0}, "01", "12", "29", "08:00:00"}));

// Hours run 00 to 23, never AM/PM, and the time never moves the date.
INSTANTIATE_TEST_SUITE_P(
    TimeOfDay, SolarDateWorkedExample,
    ::testing::Values(StampCase{{2019, 9, 22, 0, 0, 0}, "98", "06", "31", "00:00:00"},
                      StampCase{{2019, 9, 22, 23, 59, 59}, "98", "06", "31", "23:59:59"},
                      StampCase{{2019, 9, 22, 13, 7, 5}, "98", "06", "31", "13:07:05"}));

bool IsGregorianLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsGregorianLeapYear(year) ? 29 : kDays[month - 1];
}

LocalDateTime NextDay(LocalDateTime d) {
  if (++d.day > DaysInMonth(d.year, d.month)) {
    d.day = 1;
    if (++d.month > 12) {
      d.month = 1;
      ++d.year;
    }
  }
  return d;
}

bool IsTwoDigitsInRange(const std::string& text, int low, int high) {
  if (text.size() != 2 || text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9') {
    return false;
  }
  const int value = std::stoi(text);
  return value >= low && value <= high;
}

// Day within the Solar year derived from the stamp: 1 on 01/01, 186 on 06/31, 366 on 12/30.
int DayInSolarYear(const SolarDate& stamp) {
  const int month = std::stoi(stamp.month);
  const int day = std::stoi(stamp.day);
  return month <= 6 ? (month - 1) * 31 + day : 186 + (month - 7) * 30 + day;
}

// Over every day from 1990 to 2100 the stamped day advances by exactly one, and starts again at
// 1 exactly once a Gregorian year: on 20 March in Gregorian leap years, else on 21 March.
TEST(SolarDateSweep, EveryDayFollowsThePreviousWithoutGapOrRepeat) {
  LocalDateTime date{1990, 1, 1, 12, 0, 0};
  SolarDate previous = ToSolarDate(date);
  int previousDay = DayInSolarYear(previous);
  int newYearsSeen = 0;
  int days = 1;
  for (date = NextDay(date); date.year <= 2100; date = NextDay(date), ++days) {
    const SolarDate stamp = ToSolarDate(date);
    ASSERT_TRUE(IsTwoDigitsInRange(stamp.year, 0, 99)) << stamp.year;
    ASSERT_TRUE(IsTwoDigitsInRange(stamp.month, 1, 12)) << stamp.month;
    ASSERT_TRUE(IsTwoDigitsInRange(stamp.day, 1, 31)) << stamp.day;
    const int day = DayInSolarYear(stamp);
    if (day == 366) {  // 12/30 exists only on 20 March of the years with the Solar leap day
      ASSERT_TRUE(date.month == 3 && date.day == 20 && (date.year - 1981) % 4 == 0) << date.year;
    }
    if (day == 1) {
      const int expectedDay = IsGregorianLeapYear(date.year) ? 20 : 21;
      ASSERT_EQ(date.month, 3) << date.year;
      ASSERT_EQ(date.day, expectedDay) << date.year;
      ASSERT_TRUE(previousDay == 365 || previousDay == 366) << date.year << ": " << previousDay;
      ASSERT_EQ((std::stoi(stamp.year) + 99) % 100, std::stoi(previous.year)) << date.year;
      ++newYearsSeen;
    } else {
      ASSERT_EQ(day, previousDay + 1) << date.year << '-' << date.month << '-' << date.day;
      ASSERT_EQ(stamp.year, previous.year) << date.year << '-' << date.month << '-' << date.day;
    }
    previous = stamp;
    previousDay = day;
  }
  EXPECT_EQ(newYearsSeen, 2100 - 1990 + 1);
  EXPECT_EQ(days, 111 * 365 + 27);  // 1990 to 2100: 27 leap years, 2000 among them, 2100 not
}

}  // namespace
}  // namespace qelto
