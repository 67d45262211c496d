#pragma once

#include <functional>
#include <memory>

#include "drivers/pbx/host_lookup.h"

namespace qelto::cidr {

// Winsock's getaddrinfo, with getnameinfo for the printable addresses. Each call takes Winsock
// for itself, so a look-up outliving its worker (which ends Winsock for its part) still has it.
std::shared_ptr<HostResolver> SystemHostResolver();

// Runs `body` on a thread that nobody waits for. The thread holds a reference to the module its
// code is in and gives it up as it ends (FreeLibraryAndExitThread), so a FreeLibrary of the
// driver with a look-up still running unloads it only once the look-up is done. Throws
// std::system_error when no thread can be made.
void StartDetachedThread(std::function<void()> body);

}  // namespace qelto::cidr
