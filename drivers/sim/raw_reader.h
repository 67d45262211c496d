#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "drivers/raw_record.h"

namespace qelto::cidr {

// One record of a raw data file, read back (see FormatRawRecord).
struct RawRecord {
  std::string stamp;               // "2026-03-21 14:05:07.123", local time
  std::chrono::milliseconds at{};  // the stamp counted from 1970-01-01 00:00 of the same zone
  std::int32_t line = 0;
  RawDirection direction = RawDirection::kNote;
  std::string bytes;  // unescaped: exactly what went over the port

  friend bool operator==(const RawRecord&, const RawRecord&) = default;
};

// Reads one line of a raw data file, without its LF (a CR before it, as a Windows editor may
// leave, is taken off). Pure. Nullopt, with `why` set, for a line that is no record: a broken
// stamp (or one before 1970 or after 2199), line number or direction, an escape we never write,
// a byte that is not printable.
std::optional<RawRecord> ParseRawRecord(std::string_view text, std::string& why);

// The stamp of a moment counted as RawRecord::at is: "2026-03-21 14:05:07.123".
std::string FormatRawStamp(std::chrono::milliseconds at);

}  // namespace qelto::cidr
