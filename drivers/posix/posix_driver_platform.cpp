#include "drivers/posix/posix_driver_platform.h"

#include <optional>

#include "drivers/control/control_address.h"
#include "drivers/control/posix/control_session.h"
#include "drivers/control/posix/unix_socket.h"
#include "drivers/device_runner.h"
#include "drivers/device_sessions.h"
#include "drivers/modem/posix/serial_port.h"
#include "drivers/pbx/posix/tcp_client.h"
#include "drivers/posix/raw_log_file.h"

namespace qelto::cidr {

std::unique_ptr<ControlChannel> PosixDriverPlatform::StartControlChannel(const std::string& address,
                                                                         SessionHandler& handler,
                                                                         std::string& problem) {
  std::optional<ListeningSocket> socket = ListeningSocket::Open(address, problem);
  return std::make_unique<ControlSession>(std::move(socket), handler);
}

std::string PosixDriverPlatform::ControlAddress() {
  return ControlAddressFromEnvironment();
}

std::unique_ptr<RawLog> PosixDriverPlatform::OpenRawLog(const std::string& path,
                                                        std::string& problem) {
  return RawLogFile::Open(path, problem);
}

std::unique_ptr<DeviceRunner> PosixDriverPlatform::StartDevice(std::uint64_t generation,
                                                               std::size_t device,
                                                               const DeviceConfig& config,
                                                               RawLog* raw_log, DeviceSink& sink) {
  auto waiter = std::make_unique<WakePipeWaiter>();
  std::unique_ptr<DeviceTransport> transport;
  if (config.kind == DeviceKind::kPbx) {
    transport = std::make_unique<TcpTransport>(
        config.pbx.host, config.pbx.port, SystemHostResolver(), &StartDetachedThread,
        [&sink, generation, device](std::vector<std::string> addresses) {
          return sink.OnPbxResolved(generation, device, std::move(addresses));
        },
        PosixTcpConnector(*waiter), *waiter);
  } else {
    transport = SerialTransport(config.modem, *waiter);
  }
  return std::make_unique<DeviceRunner>(DeviceRunner::Identity{generation, device, config.line},
                                        MakeDeviceSession(config), std::move(transport),
                                        std::move(waiter), raw_log, sink);
}

}  // namespace qelto::cidr
