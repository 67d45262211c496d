#include "drivers/modem/modem_line.h"

#include <array>
#include <utility>

namespace qelto::cidr {
namespace {

struct KeyKind {
  std::string_view key;
  ModemLineKind kind;
};

constexpr std::array<KeyKind, 6> kKeys = {{{"DATE", ModemLineKind::kDate},
                                           {"TIME", ModemLineKind::kTime},
                                           {"NMBR", ModemLineKind::kNumber},
                                           {"DDN_NMBR", ModemLineKind::kNumber},
                                           {"NAME", ModemLineKind::kName},
                                           {"MESG", ModemLineKind::kMessage}}};

constexpr bool IsPrintable(char c) {
  return c > ' ' && c < '\x7F';
}

constexpr bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Without blanks, control characters and non-ASCII bytes at either end.
std::string_view TrimNoise(std::string_view text) {
  while (!text.empty() && !IsPrintable(text.front())) text.remove_prefix(1);
  while (!text.empty() && !IsPrintable(text.back())) text.remove_suffix(1);
  return text;
}

bool SameLetters(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Upper(text[i]) != upper[i]) return false;
  }
  return true;
}

bool IsRing(std::string_view text) {
  return text.size() >= 4 && SameLetters(text.substr(0, 4), "RING") &&
         (text.size() == 4 || !IsLetter(text[4]));
}

constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Whether a known key begins a "KEY = VALUE" part at `position` of `text`.
bool KeyStartsAt(std::string_view text, std::size_t position) {
  for (const KeyKind& known : kKeys) {
    if (position + known.key.size() > text.size() ||
        !SameLetters(text.substr(position, known.key.size()), known.key)) {
      continue;
    }
    std::size_t next = position + known.key.size();
    while (next < text.size() && IsBlank(text[next])) ++next;
    if (next < text.size() && text[next] == '=') return true;
  }
  return false;
}

}  // namespace

ModemLine ParseModemLine(std::string_view line) {
  const std::string_view text = TrimNoise(line);
  if (IsRing(text)) return {ModemLineKind::kRing, {}};
  if (SameLetters(text, "OK")) return {ModemLineKind::kOk, {}};
  if (SameLetters(text, "ERROR")) return {ModemLineKind::kError, {}};
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return {};
  const std::string_view key = TrimNoise(text.substr(0, equals));
  for (const KeyKind& known : kKeys) {
    if (SameLetters(key, known.key)) {
      return {known.kind, std::string(TrimNoise(text.substr(equals + 1)))};
    }
  }
  return {};
}

std::vector<ModemLine> ParseModemLines(std::string_view line) {
  std::vector<ModemLine> lines;
  const std::string_view text = TrimNoise(line);
  std::size_t begin = 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (!IsBlank(text[i - 1]) || !KeyStartsAt(text, i)) continue;
    lines.push_back(ParseModemLine(text.substr(begin, i - begin)));
    begin = i;
  }
  lines.push_back(ParseModemLine(text.substr(begin)));
  // A line that is not a block of known keys is one line, whatever its value holds.
  if (lines.size() > 1 && lines.front().kind == ModemLineKind::kOther) {
    return {ParseModemLine(line)};
  }
  return lines;
}

std::string NumberDigits(std::string_view value) {
  const std::size_t first = value.find_first_of("+0123456789");
  std::string digits = CallerDigits(value);
  if (first == std::string_view::npos || value[first] != '+' || digits.empty()) return digits;
  return digits.size() + 2 > kMaxNumberDigits ? std::string() : "00" + digits;
}

std::string CallerDigits(std::string_view value) {
  std::string digits;
  for (const char c : value) {
    if (c < '0' || c > '9') continue;
    if (digits.size() == kMaxNumberDigits) return {};
    digits += c;
  }
  return digits;
}

std::vector<std::string> ModemLineReader::Append(std::string_view bytes) {
  std::vector<std::string> lines;
  for (const char c : bytes) {
    if (c == '\r' || c == '\n') {
      if (!overlong_ && !partial_.empty()) lines.push_back(std::move(partial_));
      partial_.clear();
      overlong_ = false;
    } else if (!overlong_) {
      partial_ += c;
      if (partial_.size() > kMaxModemLine) {
        overlong_ = true;
        partial_.clear();
      }
    }
  }
  return lines;
}

void ModemLineReader::Clear() {
  partial_.clear();
  overlong_ = false;
}

}  // namespace qelto::cidr
