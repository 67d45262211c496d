#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qelto {

// Longest line the activity log writes, time stamp and CR LF included. Error texts from a
// database or a damaged file can be of any length; a bounded line keeps the log readable.
inline constexpr std::size_t kMaxLogLineBytes = 4096;

// Ends a text that was cut to fit its bound.
inline constexpr std::string_view kCutMark = "...";

// `text` as it may stand in a log line: printable UTF-8 (Persian included) is kept unchanged;
// control characters (C0, DEL, C1) and bytes that are not part of a well-formed UTF-8 sequence
// are written as \xNN, one escape per byte, so a damaged file or a hostile caller number can
// neither break the line nor hide bytes from the reader. A result longer than `maxBytes` is cut
// after a whole character or escape and ends with kCutMark, still within `maxBytes`
// (`maxBytes` must exceed the mark's length).
std::string EscapedLogText(std::string_view text, std::size_t maxBytes);

}  // namespace qelto
