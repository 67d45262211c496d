#pragma once

#include <memory>

#include "drivers/device_session.h"
#include "drivers/driver_config.h"

namespace qelto::cidr {

// The session of a device with a thread of its own: a modem or a telephone system.
std::unique_ptr<DeviceSession> MakeDeviceSession(const DeviceConfig& config);

}  // namespace qelto::cidr
