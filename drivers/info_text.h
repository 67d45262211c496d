#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "drivers/sim/simulated_devices.h"

namespace qelto::cidr {

// The driver version this simulator reports; the recorder demands at least "+2.0".
inline constexpr char kDriverVersion[] = "2.1";

// One device line of the information text: what the device is, and whether it is connected.
struct InfoDevice {
  std::string label;  // e.g. "Line 2 modem /dev/ttyACM0"
  bool connected = false;
};

// The information text returned by CIDR_Info, as ASCII with CR LF line ends:
//   <product> / VER 2.1 / Ports <n> / Devices / <label>: Connected|Disconnected ...
// The recorder reads the version only from the first 30 characters, so `product` must stay
// within 19 characters; it reads devices from line index 4 on, judging each by its last 13
// characters, so every device line ends in its state word.
std::string BuildInfoText(std::string_view product, const std::vector<InfoDevice>& devices);

// The simulator's text: product "POS CID Simulator", devices "Line <k>".
std::string BuildInfoText(const SimulatedDevices& devices);

}  // namespace qelto::cidr
