#pragma once

#include <chrono>
#include <string>

#include "drivers/posix/unique_fd.h"

namespace qelto::sim {

// A manager interface on the shop's network answers a connect at once; one that takes longer
// than this is as good as switched off.
inline constexpr std::chrono::seconds kTcpConnectTimeout{5};

// Connects to `host` (a name or an address) at `port`, trying each address it resolves to.
// Returns a non-blocking socket, or an invalid one with `error` set. Gives up early, with
// `error` empty, once `wake_fd` becomes readable (the worker is stopping). The name lookup
// itself cannot be interrupted; a numeric address needs none.
UniqueFd ConnectTcp(const std::string& host, int port, int wake_fd, std::string& error);

}  // namespace qelto::sim
