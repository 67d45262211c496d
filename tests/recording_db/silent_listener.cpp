#include "silent_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace qelto::testing_support {

LoopbackSocket::LoopbackSocket() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  if (fd_ < 0) throw std::runtime_error("cannot make a socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd_);
    throw std::runtime_error("cannot bind a socket on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
}

LoopbackSocket::~LoopbackSocket() {
  close(fd_);
}

SilentListener::SilentListener() {
  if (listen(socket_.fd(), 8) != 0) throw std::runtime_error("cannot listen on 127.0.0.1");
}

std::uint16_t ClosedPort() {
  return LoopbackSocket().port();
}

}  // namespace qelto::testing_support
