#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qelto {

// What a driver event is, judged by its code and the first character of its text.
enum class DeviceEventKind { kIgnored, kStatus, kCall };

DeviceEventKind ClassifyDeviceEvent(std::int32_t code, std::u16string_view text);

// The call queue line of a call event: the line number, ",", and the caller's number that follows
// the leading "C": every ASCII digit of it, with the spaces, dashes, dots and brackets it is
// written with skipped, and a leading "+" written "00" ("0" when it has no digit). It ends at the
// first other character. Examples: line 2, "C0123456" -> "2,0123456"; "C+98 912-123" ->
// "0098912123".
std::string MakeQueueLine(std::int32_t line, std::u16string_view text);

}  // namespace qelto
