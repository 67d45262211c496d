#pragma once

#include <string>

#include "drivers/device_transport.h"
#include "drivers/driver_config.h"
#include "drivers/posix/unique_fd.h"
#include "drivers/posix/wake_pipe_waiter.h"

namespace qelto::cidr {

// Opens a modem's serial port for the driver alone: raw 8N1 at the configured speed, no flow
// control unless RTS/CTS is configured, non-blocking, emptied of anything received before. The
// port is locked (flock) against a second copy of the driver and set exclusive (TIOCEXCL)
// against other programs opening it later. On failure returns an invalid descriptor and sets
// `error` to the reason, e.g. "No such file or directory".
UniqueFd OpenSerialPort(const ModemSettings& settings, std::string& error);

// The modem's port, opened with OpenSerialPort, as a device's transport.
std::unique_ptr<DeviceTransport> SerialTransport(const ModemSettings& settings,
                                                 const WakePipeWaiter& waiter);

}  // namespace qelto::cidr
