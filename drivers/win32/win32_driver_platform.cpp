#include "drivers/win32/win32_driver_platform.h"

// Winsock's header must come before any <windows.h>, which the others bring.
#include <winsock2.h>

#include "drivers/control/control_address.h"
#include "drivers/control/win32/named_pipe_session.h"
#include "drivers/modem/win32/modem_worker.h"
#include "drivers/pbx/win32/pbx_worker.h"
#include "drivers/win32/environment.h"
#include "drivers/win32/raw_log_file.h"

namespace qelto::sim {

std::unique_ptr<ControlChannel> Win32DriverPlatform::StartControlChannel(const std::string& address,
                                                                         SessionHandler& handler,
                                                                         std::string& problem) {
  return std::make_unique<NamedPipeSession>(address, CurrentUserSid(), handler, problem);
}

std::string Win32DriverPlatform::ControlAddress() {
  return ControlAddressFromEnvironment();
}

std::unique_ptr<RawLog> Win32DriverPlatform::OpenRawLog(const std::string& path,
                                                        std::string& problem) {
  return RawLogFile::Open(path, problem);
}

std::unique_ptr<ModemRunner> Win32DriverPlatform::StartModem(std::uint64_t generation,
                                                             std::size_t modem,
                                                             const DeviceConfig& config,
                                                             RawLog* raw_log, ModemSink& sink) {
  if (config.kind == DeviceKind::kPbx) {
    return std::make_unique<PbxWorker>(generation, modem, config, raw_log, sink);
  }
  return std::make_unique<ModemWorker>(generation, modem, config, raw_log, sink);
}

}  // namespace qelto::sim
