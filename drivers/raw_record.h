#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qelto::cidr {

// Which way the bytes of a raw data record went.
enum class RawDirection : char {
  kRead = '<',  // from the modem
  kSent = '>',  // to the modem
  kNote = '#',  // the driver's own remark: port opened, closed and why
};

// One record of the raw data file, ended by LF:
//   2026-03-21 14:05:07.123 line 1 < RING\r\n\r\nDATE = 0321\r\n
// `stamp` is the local time as the caller formats it. The bytes are kept whole and in one line:
// printable ASCII as it is, the backslash as "\\", CR as "\r", LF as "\n", any other byte as
// "\xNN", so the file shows exactly what the modem sent. Pure.
std::string FormatRawRecord(std::string_view stamp, std::int32_t line, RawDirection direction,
                            std::string_view bytes);

}  // namespace qelto::cidr
