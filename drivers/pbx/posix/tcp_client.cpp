#include "drivers/pbx/posix/tcp_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "drivers/posix/fd_link.h"

namespace qelto::cidr {
namespace {

struct AddressListDeleter {
  void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

// Waits for the connect in progress on `fd`; 0 when made, else an errno value (-1: stopped).
int AwaitConnect(int fd, int wake_fd) {
  std::array<pollfd, 2> polled{{{fd, POLLOUT, 0}, {wake_fd, POLLIN, 0}}};
  const auto timeout = std::chrono::milliseconds(kTcpConnectTimeout).count();
  int ready = 0;
  do {
    ready = ::poll(polled.data(), polled.size(), static_cast<int>(timeout));
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return errno;
  if (ready == 0) return ETIMEDOUT;
  if (polled[1].revents != 0) return -1;
  int error = 0;
  socklen_t length = sizeof(error);
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

HostLookupResult Addresses(const addrinfo* found) {
  HostLookupResult result;
  for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
    std::array<char, NI_MAXHOST> numeric{};
    if (::getnameinfo(address->ai_addr, address->ai_addrlen, numeric.data(), numeric.size(),
                      nullptr, 0, NI_NUMERICHOST) != 0) {
      continue;
    }
    result.addresses.push_back(
        {address->ai_family, address->ai_socktype, address->ai_protocol,
         std::string(reinterpret_cast<const char*>(address->ai_addr), address->ai_addrlen),
         numeric.data()});
  }
  if (result.addresses.empty()) result.error = "no address";
  return result;
}

// getaddrinfo, asked first for an address only (which needs no name server), then for a name.
class GetaddrinfoResolver final : public HostResolver {
 public:
  std::optional<HostLookupResult> ResolveAddress(const std::string& host, int port) override {
    return Lookup(host, port, AI_NUMERICHOST);
  }
  HostLookupResult Resolve(const std::string& host, int port) override {
    return Lookup(host, port, 0).value_or(HostLookupResult{{}, "no address"});
  }

 private:
  static std::optional<HostLookupResult> Lookup(const std::string& host, int port, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (lookup == EAI_NONAME && flags == AI_NUMERICHOST) return std::nullopt;  // a name
    if (lookup != 0) return HostLookupResult{{}, ::gai_strerror(lookup)};
    const std::unique_ptr<addrinfo, AddressListDeleter> addresses(found);
    return Addresses(found);
  }
};

}  // namespace

std::shared_ptr<HostResolver> SystemHostResolver() {
  return std::make_shared<GetaddrinfoResolver>();
}

void StartDetachedThread(std::function<void()> body) {
  std::thread(std::move(body)).detach();
}

namespace {

// Connects to the first of the addresses that answers, giving up early once the waiter stops.
class Connector final : public TcpConnector {
 public:
  explicit Connector(const WakePipeWaiter& waiter) : waiter_(waiter) {}

  std::unique_ptr<DeviceLink> Connect(const std::vector<HostAddress>& addresses,
                                      std::string& why) override {
    why = "no address";
    for (const HostAddress& address : addresses) {
      UniqueFd fd(::socket(address.family, address.socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                           address.protocol));
      if (!fd.valid()) {
        why = std::generic_category().message(errno);
        continue;
      }
      const auto* socket_address = reinterpret_cast<const sockaddr*>(address.sockaddr.data());
      const auto length = static_cast<socklen_t>(address.sockaddr.size());
      int result = ::connect(fd.get(), socket_address, length) == 0 ? 0 : errno;
      if (result == EINPROGRESS) result = AwaitConnect(fd.get(), waiter_.wake_fd());
      if (result == -1) {
        why.clear();
        return nullptr;
      }
      if (result == 0) {
        const int on = 1;  // the manager's messages are small and want to go out at once
        ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        return std::make_unique<FdLink>(std::move(fd), FdLink::Kind::kSocket, waiter_);
      }
      why = std::generic_category().message(result);
    }
    return nullptr;
  }

 private:
  const WakePipeWaiter& waiter_;
};

}  // namespace

std::unique_ptr<TcpConnector> PosixTcpConnector(const WakePipeWaiter& waiter) {
  return std::make_unique<Connector>(waiter);
}

}  // namespace qelto::cidr
