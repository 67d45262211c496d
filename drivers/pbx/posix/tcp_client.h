#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drivers/pbx/host_lookup.h"
#include "drivers/posix/wake_pipe_waiter.h"
#include "drivers/tcp_transport.h"

namespace qelto::cidr {

// A manager interface on the shop's network answers a connect at once; one that takes longer
// than this is as good as switched off.
inline constexpr std::chrono::seconds kTcpConnectTimeout{5};

// The system's resolver (getaddrinfo), with getnameinfo for the printable addresses.
std::shared_ptr<HostResolver> SystemHostResolver();

// Runs `body` on a detached thread. The driver library is linked so that it is never unmapped
// (-z nodelete), so the thread's code stays there even when the library is closed under it.
void StartDetachedThread(std::function<void()> body);

// Connects over TCP, each connect ending at the waiter's stop.
std::unique_ptr<TcpConnector> PosixTcpConnector(const WakePipeWaiter& waiter);

}  // namespace qelto::cidr
