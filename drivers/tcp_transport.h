#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drivers/device_transport.h"
#include "drivers/pbx/host_lookup.h"

namespace qelto::cidr {

// The platform's part of a TCP connection: a connect that a stop ends at once.
class TcpConnector {
 public:
  virtual ~TcpConnector() = default;
  // Connects to the first of `addresses` that answers. Null, with `why` set, when none does;
  // with `why` empty when the runner is stopping.
  virtual std::unique_ptr<DeviceLink> Connect(const std::vector<HostAddress>& addresses,
                                              std::string& why) = 0;
};

// A host and port reached over TCP. The host is looked up afresh at every open, on a thread of
// its own (a name server that does not answer never holds a stop); the addresses found are then
// claimed through `claim`, which may refuse them for good (another device names that system).
class TcpTransport final : public DeviceTransport {
 public:
  using Claim = std::function<bool(std::vector<std::string> addresses)>;

  TcpTransport(std::string host, int port, std::shared_ptr<HostResolver> resolver,
               DetachedStart start, Claim claim, std::unique_ptr<TcpConnector> connector,
               const DeviceWaiter& waiter);

  OpenedLink Open() override;

 private:
  std::string host_;
  int port_;
  std::shared_ptr<HostResolver> resolver_;
  DetachedStart start_;
  Claim claim_;
  std::unique_ptr<TcpConnector> connector_;
  const DeviceWaiter& waiter_;
};

}  // namespace qelto::cidr
