#include "transcript_call.h"

#include <algorithm>
#include <fstream>

namespace qelto::cidr::testing_support {
namespace {

constexpr std::size_t kChannelDigits = 8;

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// "1796899532.8": the second a channel was made and the system's counter.
bool IsUniqueid(std::string_view value) {
  const std::size_t dot = value.find('.');
  if (dot == std::string_view::npos || dot < 9 || dot + 1 == value.size()) return false;
  return std::all_of(value.begin(), value.end(),
                     [](char c) { return c == '.' || (c >= '0' && c <= '9'); }) &&
         value.find('.', dot + 1) == std::string_view::npos;
}

// The position of the next channel number in `value` from `from` on ("SIP/trunk-00000008",
// "Local/201@ext-local-0000000b;1"), or npos.
std::size_t NextChannelNumber(std::string_view value, std::size_t from) {
  for (std::size_t dash = value.find('-', from); dash != std::string_view::npos;
       dash = value.find('-', dash + 1)) {
    const std::size_t start = dash + 1;
    const std::size_t end = start + kChannelDigits;
    if (end > value.size()) return std::string_view::npos;
    if (std::all_of(value.begin() + start, value.begin() + end, IsHex) &&
        (end == value.size() || value[end] == ';')) {
      return start;
    }
  }
  return std::string_view::npos;
}

std::size_t IndexOf(std::vector<std::string>& seen, std::string_view value) {
  const auto found = std::find(seen.begin(), seen.end(), value);
  if (found != seen.end()) return static_cast<std::size_t>(found - seen.begin());
  seen.emplace_back(value);
  return seen.size() - 1;
}

}  // namespace

std::optional<TranscriptCall> TranscriptCall::Read(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  TranscriptCall call;
  std::vector<std::string> uniques;
  std::vector<std::string> channels;
  bool any = false;
  std::string line;
  while (std::getline(file, line)) {
    if (line.ends_with('\r')) line.pop_back();
    if (line.starts_with('#')) continue;
    any = any || !line.empty();
    call.AddLine(line, uniques, channels);
  }
  if (!any) return std::nullopt;
  call.Add("\r\n", Slot::kEnd, 0, {});  // the last event's end, where the file has none
  call.uniques_ = uniques.size();
  call.channels_ = channels.size();
  return call;
}

void TranscriptCall::AddLine(std::string_view line, std::vector<std::string>& uniques,
                             std::vector<std::string>& channels) {
  const std::size_t colon = line.find(": ");
  if (colon == std::string_view::npos) {
    Add(std::string(line) + "\r\n", Slot::kEnd, 0, {});
    return;
  }
  const std::string_view value = line.substr(colon + 2);
  Add(line.substr(0, colon + 2), Slot::kEnd, 0, {});
  if (IsUniqueid(value)) {
    Add({}, Slot::kUnique, IndexOf(uniques, value), value);
  } else {
    AddValue(value, channels);
  }
  Add("\r\n", Slot::kEnd, 0, {});
}

void TranscriptCall::AddValue(std::string_view value, std::vector<std::string>& channels) {
  std::size_t at = 0;
  while (at < value.size()) {
    const std::size_t caller = value.find(kRecordedCaller, at);
    const std::size_t channel = NextChannelNumber(value, at);
    const std::size_t next = std::min(caller, channel);
    if (next == std::string_view::npos) break;
    Add(value.substr(at, next - at), Slot::kEnd, 0, {});
    if (next == caller) {
      Add({}, Slot::kCaller, 0, kRecordedCaller);
      at = caller + kRecordedCaller.size();
    } else {
      const std::string_view digits = value.substr(channel, kChannelDigits);
      Add({}, Slot::kChannel, IndexOf(channels, digits), digits);
      at = channel + kChannelDigits;
    }
  }
  Add(value.substr(at), Slot::kEnd, 0, {});
}

// Runs of text are joined to the piece before until a slot closes it.
void TranscriptCall::Add(std::string_view text, Slot slot, std::size_t index,
                         std::string_view recorded) {
  if (pieces_.empty() || pieces_.back().slot != Slot::kEnd) pieces_.emplace_back();
  Piece& piece = pieces_.back();
  piece.text += text;
  piece.slot = slot;
  piece.index = index;
  piece.recorded = std::string(recorded);
}

std::string TranscriptCall::Recorded() const {
  std::string text;
  for (const Piece& piece : pieces_) text += piece.text + piece.recorded;
  return text;
}

std::string TranscriptCall::Render(std::string_view caller, ChannelNumbering& numbering) const {
  std::string text;
  const std::string seconds = std::to_string(numbering.seconds) + ".";
  for (const Piece& piece : pieces_) {
    text += piece.text;
    if (piece.slot == Slot::kCaller) {
      text += caller;
    } else if (piece.slot == Slot::kUnique) {
      text += seconds + std::to_string(numbering.next_unique + piece.index);
    } else if (piece.slot == Slot::kChannel) {
      std::uint64_t number = numbering.next_channel + piece.index;
      std::string digits(kChannelDigits, '0');
      for (std::size_t i = kChannelDigits; i-- > 0; number >>= 4) {
        digits[i] = "0123456789abcdef"[number & 0xf];
      }
      text += digits;
    }
  }
  numbering.next_unique += uniques_;
  numbering.next_channel += channels_;
  return text;
}

}  // namespace qelto::cidr::testing_support
