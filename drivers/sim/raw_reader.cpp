#include "drivers/sim/raw_reader.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace qelto::cidr {
namespace {

// "YYYY-MM-DD HH:MM:SS.mmm"
constexpr std::size_t kStampSize = 23;
constexpr std::string_view kStampPattern = "dddd-dd-dd dd:dd:dd.ddd";

std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data() + at, text.data() + at + count, value);
  if (error != std::errc() || end != text.data() + at + count) return std::nullopt;
  return value;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

std::optional<std::chrono::milliseconds> ParseStamp(std::string_view stamp) {
  for (std::size_t i = 0; i < kStampSize; ++i) {
    const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
    if (kStampPattern[i] == 'd' ? !digit : stamp[i] != kStampPattern[i]) return std::nullopt;
  }
  const int year = *Digits(stamp, 0, 4);
  const int month = *Digits(stamp, 5, 2);
  const int day = *Digits(stamp, 8, 2);
  const int hour = *Digits(stamp, 11, 2);
  const int minute = *Digits(stamp, 14, 2);
  const int second = *Digits(stamp, 17, 2);
  const int milli = *Digits(stamp, 20, 3);
  // A leap second may show as :60. Years beyond 2199 would not fit the devices' clocks.
  if (year < 1970 || year > 2199 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 60) {
    return std::nullopt;
  }
  const std::int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const std::chrono::milliseconds at(((days * 24 + hour) * 60 + minute) * 60'000 + second * 1000 +
                                     milli);
  // 31 February and the like come out as another day.
  if (second < 60 && FormatRawStamp(at) != stamp) return std::nullopt;
  return at;
}

// The date of a day counted from 1970-01-01, the inverse of DaysFromCivil.
void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted = (5 * day_of_year + 2) / 153;
  day = day_of_year - (153 * shifted + 2) / 5 + 1;
  month = shifted < 10 ? shifted + 3 : shifted - 9;
  year = static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2 ? 1 : 0);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(std::string_view text, std::string& bytes, std::string& why) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c < ' ' || c > '~') {
      why = "an unprintable byte in the record";
      return false;
    }
    if (c != '\\') {
      bytes += c;
      continue;
    }
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (next == '\\' || next == 'r' || next == 'n') {
      bytes += next == '\\' ? '\\' : next == 'r' ? '\r' : '\n';
      ++i;
      continue;
    }
    const int high = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
    const int low = i + 3 < text.size() ? HexValue(text[i + 3]) : -1;
    if (next != 'x' || high < 0 || low < 0) {
      why = "a backslash that starts none of \\\\ \\r \\n \\xNN";
      return false;
    }
    bytes += static_cast<char>(high * 16 + low);
    i += 3;
  }
  return true;
}

}  // namespace

std::string FormatRawStamp(std::chrono::milliseconds at) {
  const std::int64_t total = at.count();
  const std::int64_t millis_per_day = 86'400'000;
  std::int64_t days = total / millis_per_day;
  std::int64_t rest = total % millis_per_day;
  if (rest < 0) {
    rest += millis_per_day;
    --days;
  }
  std::int64_t year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(days, year, month, day);
  std::array<char, 48> text{};
  std::snprintf(text.data(), text.size(), "%04lld-%02u-%02u %02lld:%02lld:%02lld.%03lld",
                static_cast<long long>(year), month, day, static_cast<long long>(rest / 3'600'000),
                static_cast<long long>(rest / 60'000 % 60),
                static_cast<long long>(rest / 1000 % 60), static_cast<long long>(rest % 1000));
  return text.data();
}

std::optional<RawRecord> ParseRawRecord(std::string_view text, std::string& why) {
  if (text.ends_with('\r')) text.remove_suffix(1);
  RawRecord record;
  constexpr std::string_view kLine = " line ";
  if (text.size() < kStampSize || text.substr(kStampSize, kLine.size()) != kLine) {
    why = "no time stamp and line number at its start";
    return std::nullopt;
  }
  const std::optional<std::chrono::milliseconds> at = ParseStamp(text.substr(0, kStampSize));
  if (!at) {
    why = "the time stamp \"" + std::string(text.substr(0, kStampSize)) + "\" is no date";
    return std::nullopt;
  }
  record.stamp = std::string(text.substr(0, kStampSize));
  record.at = *at;
  text.remove_prefix(kStampSize + kLine.size());
  std::int32_t line = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), line);
  const std::size_t digits = static_cast<std::size_t>(end - text.data());
  if (error != std::errc() || digits == 0 || line < 1 || text.front() == '+') {
    why = "no line number from 1 to 2147483647";
    return std::nullopt;
  }
  record.line = line;
  text.remove_prefix(digits);
  const char direction = text.size() >= 2 && text[0] == ' ' ? text[1] : '\0';
  if (direction != '<' && direction != '>' && direction != '#') {
    why = "no direction (<, > or #) after the line number";
    return std::nullopt;
  }
  record.direction = static_cast<RawDirection>(direction);
  text.remove_prefix(2);
  if (!text.empty()) {
    if (text.front() != ' ') {
      why = "no blank after the direction";
      return std::nullopt;
    }
    text.remove_prefix(1);
  }
  if (!Unescape(text, record.bytes, why)) return std::nullopt;
  return record;
}

}  // namespace qelto::cidr
