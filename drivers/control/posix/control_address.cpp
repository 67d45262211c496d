#include "drivers/control/control_address.h"

#include <unistd.h>

#include <cstdlib>

#include "drivers/sim/sim_settings.h"

namespace qelto::cidr {

std::string ControlAddressFromEnvironment() {
  return ControlSocketPath(std::getenv(kSocketVariable), std::getenv("XDG_RUNTIME_DIR"),
                           ::getuid());
}

std::string ControlAddressHelp() {
  return "The control socket is $QELTO_CIDR_SIM_SOCKET if set, else\n"
         "$XDG_RUNTIME_DIR/qelto-cidr-sim.sock, else /tmp/qelto-cidr-sim-<uid>.sock.\n";
}

}  // namespace qelto::cidr
