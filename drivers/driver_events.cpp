#include "drivers/driver_events.h"

#include <optional>

#include "drivers/text_encoding.h"

namespace qelto::cidr {

DriverEvent CallEvent(std::int32_t line, std::u16string_view number) {
  return DriverEvent{line, u"C" + std::u16string(number)};
}

DriverEvent StatusEvent(std::u16string_view text) {
  return DriverEvent{0, u"S" + std::u16string(text)};
}

DriverEvent DeviceStatusEvent(int device, bool connected) {
  const std::string text =
      "Device " + std::to_string(device) + (connected ? " connected" : " disconnected");
  return StatusEvent(WidenAscii(text));
}

DriverEvent StartStatusEvent(const SimulatedDevices& devices, std::string_view socket_problem) {
  std::string text = "Simulator started";
  if (!socket_problem.empty()) {
    text += " without control socket (" + std::string(socket_problem) + ")";
  }
  text += ": " + std::to_string(devices.ConnectedCount()) + " of " +
          std::to_string(devices.count()) + " devices connected";
  // The socket problem may quote a path, which is UTF-8 by custom but not by guarantee.
  std::optional<std::u16string> utf16 = Utf8ToUtf16(text);
  return StatusEvent(utf16 ? *utf16 : WidenAscii(text));
}

}  // namespace qelto::cidr
