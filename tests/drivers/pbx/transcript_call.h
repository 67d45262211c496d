#pragma once

// A recorded call's event stream (tests/drivers/pbx/transcripts/) as the pattern of more calls of
// its kind: each rendering gives the call's channels Uniqueids and names of their own and the
// caller a number of its own, as the next call of that kind on the same system would have.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelto::cidr::testing_support {

// The caller's number in every recorded transcript (in outgoing.txt the number dialled).
inline constexpr std::string_view kRecordedCaller = "09121234567";

// The counters a system numbers its channels with; one per system, shared by all its calls.
struct ChannelNumbering {
  std::int64_t seconds = 1800000000;  // the Uniqueids' first part: when the channels were made
  std::uint64_t next_unique = 1;      // their second part
  std::uint64_t next_channel = 1;     // the 8 hexadecimal digits ending a channel's name
};

class TranscriptCall {
 public:
  // Reads a transcript: "#" comment lines, then the events as received, each ended by an empty
  // line. nullopt when the file cannot be read or holds no event.
  static std::optional<TranscriptCall> Read(const std::string& path);

  // The events as recorded, with the CR LF line ends the server sends.
  std::string Recorded() const;
  // The events of another call of this kind, from `caller` (kRecordedCaller replaced), its
  // Uniqueids and channel names taken from `numbering`.
  std::string Render(std::string_view caller, ChannelNumbering& numbering) const;

 private:
  // A stretch of text as recorded, then what stands after it: nothing, the caller's number, the
  // call's `index`-th Uniqueid or the `index`-th channel number.
  enum class Slot { kEnd, kCaller, kUnique, kChannel };
  struct Piece {
    std::string text;
    Slot slot = Slot::kEnd;
    std::size_t index = 0;
    std::string recorded;  // what the slot held
  };

  void AddLine(std::string_view line, std::vector<std::string>& uniques,
               std::vector<std::string>& channels);
  void AddValue(std::string_view value, std::vector<std::string>& channels);
  void Add(std::string_view text, Slot slot, std::size_t index, std::string_view recorded);

  std::vector<Piece> pieces_;
  std::size_t uniques_ = 0;
  std::size_t channels_ = 0;
};

}  // namespace qelto::cidr::testing_support
