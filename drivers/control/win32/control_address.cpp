#include "drivers/control/control_address.h"

#include <windows.h>

#include <optional>

#include "common/win32/wide_text.h"
#include "drivers/sim/sim_settings.h"
#include "drivers/win32/environment.h"

namespace qelto::cidr {

std::string ControlAddressFromEnvironment() {
  const std::optional<std::string> variable =
      EnvironmentValue(WideFromUtf8(kSocketVariable).c_str());
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) session = 0;
  return ControlPipeName(variable ? variable->c_str() : nullptr, session, CurrentUserSid());
}

std::string ControlAddressHelp() {
  return "The control channel is the named pipe %QELTO_CIDR_SIM_SOCKET% if set (a bare\n"
         "name is taken under \\\\.\\pipe\\), else \\\\.\\pipe\\qelto-cidr-sim-<session>-<SID>,\n"
         "open to the current user of the current Windows session only.\n";
}

}  // namespace qelto::cidr
