#pragma once

#include <vector>

#include "drivers/modem/modem_identity.h"

namespace qelto::cidr {

// The COM ports of the devices plugged in now, as SetupAPI lists them under Ports (COM & LPT)
// and Modems: each device's instance ID (for an interface of a composite USB device, the
// device's own, which holds the serial number), its friendly name and the PortName in its
// registry key (for a modem on a built-in port, the port it is AttachedTo); then the ports under
// HARDWARE\DEVICEMAP\SERIALCOMM that none of those has, with their names alone.
class SetupApiPortList final : public PortList {
 public:
  std::vector<ListedPort> Ports() override;
};

}  // namespace qelto::cidr
