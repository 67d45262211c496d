#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "drivers/sim/simulated_devices.h"

namespace qelto::cidr {

// One event for the recorder's callback: code 0 with a text beginning with "S" is a status
// event, a code above 0 with a text beginning with "C" a call on that line.
struct DriverEvent {
  std::int32_t code = 0;
  std::u16string text;

  friend bool operator==(const DriverEvent&, const DriverEvent&) = default;
};

DriverEvent CallEvent(std::int32_t line, std::u16string_view number);
DriverEvent StatusEvent(std::u16string_view text);
// "SDevice <n> connected" or "SDevice <n> disconnected".
DriverEvent DeviceStatusEvent(int device, bool connected);
// Sent on every registration so the recorder learns the device count at once. A non-empty
// `socket_problem` says why the simulator cannot be controlled; the recorder logs status
// texts, which makes this the one place where the operator gets to see it.
DriverEvent StartStatusEvent(const SimulatedDevices& devices, std::string_view socket_problem);

}  // namespace qelto::cidr
