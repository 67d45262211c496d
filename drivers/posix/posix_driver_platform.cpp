#include "drivers/posix/posix_driver_platform.h"

#include <optional>

#include "drivers/control/control_address.h"
#include "drivers/control/posix/control_session.h"
#include "drivers/control/posix/unix_socket.h"
#include "drivers/modem/posix/modem_worker.h"
#include "drivers/pbx/posix/pbx_worker.h"
#include "drivers/posix/raw_log_file.h"

namespace qelto::sim {

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

std::unique_ptr<ModemRunner> PosixDriverPlatform::StartModem(std::uint64_t generation,
                                                             std::size_t modem,
                                                             const DeviceConfig& config,
                                                             RawLog* raw_log, ModemSink& sink) {
  if (config.kind == DeviceKind::kPbx) {
    return std::make_unique<PbxWorker>(generation, modem, config, raw_log, sink);
  }
  return std::make_unique<ModemWorker>(generation, modem, config, raw_log, sink);
}

}  // namespace qelto::sim
