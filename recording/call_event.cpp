#include "recording/call_event.h"

namespace qelto {

DeviceEventKind ClassifyDeviceEvent(std::int32_t code, std::u16string_view text) {
  if (text.empty()) return DeviceEventKind::kIgnored;
  if (code == 0 && text.front() == u'S') return DeviceEventKind::kStatus;
  if (code > 0 && text.front() == u'C') return DeviceEventKind::kCall;
  return DeviceEventKind::kIgnored;
}

std::string MakeQueueLine(std::int32_t line, std::u16string_view text) {
  std::string number;
  for (std::size_t i = 1; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    number.push_back(static_cast<char>(text[i]));
  }
  if (number.empty()) number = "0";
  return std::to_string(line) + "," + number;
}

}  // namespace qelto
