#pragma once

#include <memory>

#include "drivers/device_transport.h"
#include "drivers/driver_config.h"
#include "drivers/win32/event_waiter.h"

namespace qelto::cidr {

// A modem's COM port, opened with OpenSerialPort. Its link reads only what the port has already
// received, and waits between its looks on the stop alone: a read that waited for the first byte
// could not be relied on to end (under Wine it may not), and asking first is also how a port that
// has gone is noticed while its modem is quiet.
std::unique_ptr<DeviceTransport> ComPortTransport(const ModemSettings& settings,
                                                  const EventWaiter& waiter);

}  // namespace qelto::cidr
