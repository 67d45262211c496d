#include "drivers/win32/win32_driver_platform.h"

// Winsock's header must come before any <windows.h>, which the others bring.
#include <winsock2.h>

#include "drivers/control/control_address.h"
#include "drivers/control/win32/named_pipe_session.h"
#include "drivers/device_runner.h"
#include "drivers/device_sessions.h"
#include "drivers/pbx/win32/system_resolver.h"
#include "drivers/win32/com_port_link.h"
#include "drivers/win32/environment.h"
#include "drivers/win32/raw_log_file.h"
#include "drivers/win32/socket_link.h"

namespace qelto::cidr {

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

std::unique_ptr<DeviceRunner> Win32DriverPlatform::StartDevice(std::uint64_t generation,
                                                               std::size_t device,
                                                               const DeviceConfig& config,
                                                               RawLog* raw_log, DeviceSink& sink) {
  auto waiter = std::make_unique<EventWaiter>();
  std::unique_ptr<DeviceTransport> transport;
  if (config.kind == DeviceKind::kPbx) {
    transport = std::make_unique<TcpTransport>(
        config.pbx.host, config.pbx.port, SystemHostResolver(), &StartDetachedThread,
        [&sink, generation, device](std::vector<std::string> addresses) {
          return sink.OnPbxResolved(generation, device, std::move(addresses));
        },
        WinsockConnector(*waiter), *waiter);
  } else {
    transport = ComPortTransport(config.modem, *waiter);
  }
  return std::make_unique<DeviceRunner>(DeviceRunner::Identity{generation, device, config.line},
                                        MakeDeviceSession(config), std::move(transport),
                                        std::move(waiter), raw_log, sink);
}

}  // namespace qelto::cidr
