#pragma once

#include <string>

namespace qelto::cidr {

// Where the running driver serves its control channel and the tool reaches it, from the
// environment (QELTO_CIDR_SIM_SOCKET first). Defined once per platform.
std::string ControlAddressFromEnvironment();

// How qelto-cidr-sim's usage text describes that address. Defined once per platform.
std::string ControlAddressHelp();

}  // namespace qelto::cidr
