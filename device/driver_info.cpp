#include "device/driver_info.h"

#include <algorithm>
#include <vector>

#include "device/driver_binding.h"
#include "device/driver_text.h"

namespace qelto {
namespace {

constexpr std::size_t kVersionWindow = 30;  // the version must lie within the first 30 characters
constexpr std::size_t kStateWindow = 13;    // a device's state stands in its last 13 characters
constexpr std::size_t kHeaderLines = 4;

bool StartsWithPos(std::string_view text) {
  return text.substr(0, 3) == "POS";
}

// Splits at CR LF, lone CR or lone LF; a break at the very end adds no empty line.
template <typename Char>
std::vector<std::basic_string_view<Char>> SplitLines(std::basic_string_view<Char> text) {
  std::vector<std::basic_string_view<Char>> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != Char('\r') && text[i] != Char('\n')) continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == Char('\r') && i + 1 < text.size() && text[i + 1] == Char('\n')) ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

template <typename Char>
bool ReportsConnected(std::basic_string_view<Char> line) {
  const auto tail = line.substr(line.size() > kStateWindow ? line.size() - kStateWindow : 0);
  std::string folded;
  for (Char c : tail) {
    const auto unit = static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(c));
    folded.push_back(unit < 0x80 ? static_cast<char>(AsciiLower(unit)) : '\x7f');
  }
  return folded.find("connected") != std::string::npos &&
         folded.find("disconnected") == std::string::npos;
}

template <typename Char>
std::int32_t CountConnected(std::basic_string_view<Char> text) {
  const auto lines = SplitLines(text);
  std::int32_t count = 0;
  for (std::size_t i = kHeaderLines; i < lines.size(); ++i) {
    if (ReportsConnected(lines[i])) ++count;
  }
  return count;
}

bool IsDottedNumber(std::string_view text) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.') {
      if (text[i + 1] == '.') return false;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  return true;
}

// Next dot-separated number of `text` from `pos`, without leading zeros; empty past the end,
// which makes missing parts count as zero.
std::string_view NextNumber(std::string_view text, std::size_t& pos) {
  if (pos >= text.size()) return {};
  std::size_t end = text.find('.', pos);
  if (end == std::string_view::npos) end = text.size();
  std::string_view part = text.substr(pos, end - pos);
  pos = end + 1;
  while (!part.empty() && part.front() == '0') part.remove_prefix(1);
  return part;
}

// Compares numbers of any length as digit strings, so no version can overflow.
int CompareDotted(std::string_view a, std::string_view b) {
  std::size_t pa = 0, pb = 0;
  while (pa < a.size() || pb < b.size()) {
    const auto x = NextNumber(a, pa);
    const auto y = NextNumber(b, pb);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    if (const int c = x.compare(y); c != 0) return c < 0 ? -1 : 1;
  }
  return 0;
}

bool ByteWiseLess(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

}  // namespace

std::string ExtractVersion(std::string_view info) {
  std::string upper(info);
  std::transform(upper.begin(), upper.end(), upper.begin(), AsciiUpper);
  const std::size_t p = upper.find("VER ");
  if (p == std::string::npos) return {};
  const std::size_t q = info.find("\r\n", p + 3);
  if (q == std::string_view::npos || q <= p) return {};
  return std::string(info.substr(p + 4, q - p - 4));
}

std::string DriverVersionOf(const void* infoText) {
  const DriverText text = ReadDriverText(infoText);
  if (text.kind == DriverTextKind::kAnsi) {
    const std::string_view s = std::string_view(text.ansi).substr(0, kVersionWindow);
    return StartsWithPos(s) ? "-" + ExtractVersion(s) : std::string();
  }
  const std::string t = Utf16ToAnsi(std::u16string_view(text.utf16).substr(0, kVersionWindow));
  return StartsWithPos(t) ? "+" + ExtractVersion(t) : std::string();
}

bool VersionNotBelow(std::string_view version, std::string_view required) {
  const bool bothNumeric = version.size() > 1 && required.size() > 1 && version[0] == '+' &&
                           required[0] == '+' && IsDottedNumber(version.substr(1)) &&
                           IsDottedNumber(required.substr(1));
  if (bothNumeric) return CompareDotted(version.substr(1), required.substr(1)) >= 0;
  return !ByteWiseLess(version, required);
}

std::int32_t ConnectedDeviceCountOf(const void* infoText) {
  const DriverText text = ReadDriverText(infoText);
  if (text.kind == DriverTextKind::kAnsi) return CountConnected(std::string_view(text.ansi));
  return CountConnected(std::u16string_view(text.utf16));
}

std::string InfoTextOf(const void* infoText) {
  try {
    const DriverText text = ReadDriverText(infoText);
    if (text.kind == DriverTextKind::kAnsi) return text.ansi;
    return Utf16ToAnsi(text.utf16);
  } catch (...) {
    return {};
  }
}

std::string DriverInfoText(const DriverBinding& driver) {
  return InfoTextOf(driver.Info());
}

std::string DriverVersion(const DriverBinding& driver) {
  return DriverVersionOf(driver.Info());
}

bool CheckDriverVersion(const DriverBinding& driver, std::string_view required) {
  if (!driver.DriverReady()) return false;
  return VersionNotBelow(DriverVersion(driver), required);
}

std::int32_t ConnectedDeviceCount(const DriverBinding& driver) {
  // A failure while scanning (memory) must not reach the driver's thread; the count is then 0,
  // as if no device had reported itself.
  try {
    return ConnectedDeviceCountOf(driver.Info());
  } catch (...) {
    return 0;
  }
}

}  // namespace qelto
