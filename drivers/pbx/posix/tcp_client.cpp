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
#include <system_error>

namespace qelto::sim {
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

}  // namespace

UniqueFd ConnectTcp(const std::string& host, int port, int wake_fd, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (lookup != 0) {
    error = std::string("cannot find the host: ") + ::gai_strerror(lookup);
    return UniqueFd();
  }
  const std::unique_ptr<addrinfo, AddressListDeleter> addresses(found);
  error = "no address";
  for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
    UniqueFd fd(::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                         address->ai_protocol));
    if (!fd.valid()) {
      error = std::generic_category().message(errno);
      continue;
    }
    int result = ::connect(fd.get(), address->ai_addr, address->ai_addrlen) == 0 ? 0 : errno;
    if (result == EINPROGRESS) result = AwaitConnect(fd.get(), wake_fd);
    if (result == -1) {
      error.clear();
      return UniqueFd();
    }
    if (result == 0) {
      const int on = 1;  // the manager's messages are small and want to go out at once
      ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
      error.clear();
      return fd;
    }
    error = std::generic_category().message(result);
  }
  return UniqueFd();
}

}  // namespace qelto::sim
