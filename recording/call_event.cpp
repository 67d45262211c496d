#include "recording/call_event.h"

namespace qelto {
namespace {

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// What a number is written with for the eye: "0912 123-4567", "(021) 555.1234".
bool IsSeparator(char16_t c) {
  return c == u' ' || c == u'-' || c == u'.' || c == u'(' || c == u')';
}

}  // namespace

DeviceEventKind ClassifyDeviceEvent(std::int32_t code, std::u16string_view text) {
  if (text.empty()) return DeviceEventKind::kIgnored;
  if (code == 0 && text.front() == u'S') return DeviceEventKind::kStatus;
  if (code > 0 && text.front() == u'C') return DeviceEventKind::kCall;
  return DeviceEventKind::kIgnored;
}

std::string MakeQueueLine(std::int32_t line, std::u16string_view text) {
  std::size_t i = 1;
  while (i < text.size() && IsSeparator(text[i])) ++i;
  // "+98..." is the international form; the shop's telephone dials it as "0098...".
  std::string number = i < text.size() && text[i] == u'+' ? (++i, "00") : "";
  const std::size_t prefix = number.size();
  for (; i < text.size() && (IsDigit(text[i]) || IsSeparator(text[i])); ++i) {
    if (IsDigit(text[i])) number.push_back(static_cast<char>(text[i]));
  }
  if (number.size() == prefix) number = "0";
  return std::to_string(line) + "," + number;
}

}  // namespace qelto
