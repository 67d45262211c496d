#include "drivers/modem/system_ports.h"

namespace qelto::cidr {

std::unique_ptr<PortList> SystemPortList() {
  return nullptr;
}

std::string ConsoleText(std::string_view text) {
  return std::string(text);
}

}  // namespace qelto::cidr
