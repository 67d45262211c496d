#include "drivers/posix/posix_transports.h"

#include <string>
#include <utility>

#include "drivers/modem/posix/serial_port.h"
#include "drivers/pbx/posix/tcp_client.h"
#include "drivers/posix/fd_link.h"

namespace qelto::sim {
namespace {

class PosixSerialTransport final : public DeviceTransport {
 public:
  PosixSerialTransport(ModemSettings settings, const WakePipeWaiter& waiter)
      : settings_(std::move(settings)), waiter_(waiter) {}

  OpenedLink Open() override {
    OpenedLink opened;
    UniqueFd port = OpenSerialPort(settings_, opened.why);
    if (!port.valid()) return opened;
    opened.link = std::make_unique<FdLink>(std::move(port), FdLink::Kind::kSerialPort, waiter_);
    opened.note = "opened " + settings_.port;
    return opened;
  }

 private:
  ModemSettings settings_;
  const WakePipeWaiter& waiter_;
};

class Connector final : public TcpConnector {
 public:
  explicit Connector(const WakePipeWaiter& waiter) : waiter_(waiter) {}

  std::unique_ptr<DeviceLink> Connect(const std::vector<HostAddress>& addresses,
                                      std::string& why) override {
    UniqueFd socket = ConnectTcp(addresses, waiter_.wake_fd(), why);
    if (!socket.valid()) return nullptr;
    return std::make_unique<FdLink>(std::move(socket), FdLink::Kind::kSocket, waiter_);
  }

 private:
  const WakePipeWaiter& waiter_;
};

}  // namespace

std::unique_ptr<DeviceTransport> SerialTransport(const ModemSettings& settings,
                                                 const WakePipeWaiter& waiter) {
  return std::make_unique<PosixSerialTransport>(settings, waiter);
}

std::unique_ptr<TcpConnector> PosixTcpConnector(const WakePipeWaiter& waiter) {
  return std::make_unique<Connector>(waiter);
}

}  // namespace qelto::sim
