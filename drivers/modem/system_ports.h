#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "drivers/modem/modem_identity.h"

namespace qelto::cidr {

// The system's list of serial ports, or null where there is none to ask: on Linux a modem keeps
// its name under /dev/serial/by-id/, so nothing needs looking up.
std::unique_ptr<PortList> SystemPortList();

// UTF-8 `text` as the console shows it: on Windows in the ANSI code page, which is also what
// the installer reads.
std::string ConsoleText(std::string_view text);

}  // namespace qelto::cidr
