#pragma once

#include <cstdint>

namespace qelto::testing_support {

// An open TCP socket of 127.0.0.1, closed at the end.
class LoopbackSocket {
 public:
  LoopbackSocket();  // bound to a port the system picks
  ~LoopbackSocket();
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  int fd() const { return fd_; }
  std::uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A socket that listens but never accepts and never answers: the kernel completes the handshake,
// then nothing comes back, as from a server that hangs. Only a time-out on the client's side
// ends a login to it.
class SilentListener {
 public:
  SilentListener();
  std::uint16_t port() const { return socket_.port(); }

 private:
  LoopbackSocket socket_;
};

// A port on 127.0.0.1 that nothing listens on (one the system just handed out and took back), so
// a connection to it is refused at once.
std::uint16_t ClosedPort();

}  // namespace qelto::testing_support
