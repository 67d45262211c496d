#pragma once

#include <memory>

#include "drivers/tcp_transport.h"
#include "drivers/win32/event_waiter.h"

namespace qelto::cidr {

// Connects through Winsock, each socket selected on an event of its own that its link waits on
// beside the stop. Takes Winsock for as long as it lives; throws std::system_error when Winsock
// or the event cannot be had.
std::unique_ptr<TcpConnector> WinsockConnector(const EventWaiter& waiter);

}  // namespace qelto::cidr
