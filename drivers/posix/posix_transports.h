#pragma once

#include <memory>

#include "drivers/driver_config.h"
#include "drivers/posix/wake_pipe_waiter.h"
#include "drivers/tcp_transport.h"

namespace qelto::sim {

// A modem's serial port, opened with OpenSerialPort.
std::unique_ptr<DeviceTransport> SerialTransport(const ModemSettings& settings,
                                                 const WakePipeWaiter& waiter);
// Connects with ConnectTcp, which the waiter's stop ends.
std::unique_ptr<TcpConnector> PosixTcpConnector(const WakePipeWaiter& waiter);

}  // namespace qelto::sim
