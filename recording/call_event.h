#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qelto {

// What a driver event is, judged by its code and the first character of its text.
enum class DeviceEventKind { kIgnored, kStatus, kCall };

DeviceEventKind ClassifyDeviceEvent(std::int32_t code, std::u16string_view text);

// The call queue line of a call event: the line number, ",", and the run of ASCII digits that
// follows the leading "C" ("0" when there is none). Example: line 2, "C0123456" -> "2,0123456".
std::string MakeQueueLine(std::int32_t line, std::u16string_view text);

}  // namespace qelto
