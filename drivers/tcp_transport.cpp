#include "drivers/tcp_transport.h"

#include <optional>
#include <utility>

#include "drivers/modem/modem_device.h"

namespace qelto::cidr {

TcpTransport::TcpTransport(std::string host, int port, std::shared_ptr<HostResolver> resolver,
                           DetachedStart start, Claim claim,
                           std::unique_ptr<TcpConnector> connector, const DeviceWaiter& waiter)
    : host_(std::move(host)),
      port_(port),
      resolver_(std::move(resolver)),
      start_(std::move(start)),
      claim_(std::move(claim)),
      connector_(std::move(connector)),
      waiter_(waiter) {}

OpenedLink TcpTransport::Open() {
  OpenedLink opened;
  const std::optional<HostLookupResult> found =
      LookUpHost(resolver_, host_, port_, start_, [this] { return waiter_.stopping(); });
  if (!found) return opened;  // stopping
  if (found->addresses.empty()) {
    opened.why = "cannot find the host: " + found->error;
    return opened;
  }
  if (!claim_(NumericAddresses(*found))) {
    opened.refused = true;
    return opened;
  }
  opened.link = connector_->Connect(found->addresses, opened.why);
  if (opened.link)
    opened.note = "connected to " + PrintablePath(host_ + ":" + std::to_string(port_));
  return opened;
}

}  // namespace qelto::cidr
