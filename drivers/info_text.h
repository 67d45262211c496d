#pragma once

#include <string>

#include "drivers/simulated_devices.h"

namespace qelto::sim {

// The driver version this simulator reports; the recorder demands at least "+2.0".
inline constexpr char kDriverVersion[] = "2.1";

// The information text returned by CIDR_Info, as ASCII with CR LF line ends:
//   POS CID Simulator / VER 2.1 / Ports <n> / Devices / Line <k>: Connected|Disconnected ...
// The recorder reads the version only from the first 30 characters, so the first two lines
// must stay short; it reads devices from line index 4 on, judging each by its last 13
// characters, so every device line ends in its state word.
std::string BuildInfoText(const SimulatedDevices& devices);

}  // namespace qelto::sim
