#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "drivers/posix/unique_fd.h"

namespace qelto::cidr {

// A listening Unix stream socket bound to a path, reachable by its owner only (mode 0600).
// The socket file is removed on destruction, but only while the path still names this very
// socket, so a successor that bound the same path meanwhile keeps its file.
class ListeningSocket {
 public:
  // Binds and listens at `path`. A stale socket file (nobody accepts on it) is replaced; a live
  // one, or a file of another kind, is left alone and the open fails. On failure returns
  // nullopt and sets `error` to a message naming the path.
  static std::optional<ListeningSocket> Open(const std::string& path, std::string& error);

  ListeningSocket(ListeningSocket&& other) noexcept;
  ListeningSocket& operator=(ListeningSocket&&) = delete;
  ~ListeningSocket() { Unlink(); }

  int fd() const { return fd_.get(); }
  const std::string& path() const { return path_; }
  // Removes the socket file now (if it is still ours); the descriptor stays open. Idempotent.
  void Unlink();

 private:
  ListeningSocket(UniqueFd fd, std::string path, dev_t device, ino_t inode);

  UniqueFd fd_;
  std::string path_;
  dev_t device_;
  ino_t inode_;
  bool linked_ = true;
};

// Connects to the socket at `path`; an invalid descriptor when nobody listens there, with
// errno telling why.
UniqueFd ConnectUnixSocket(const std::string& path);

// Sends all of `bytes` without blocking and without SIGPIPE. False when the peer is gone or
// would have to be waited for: a client that does not read its replies is dropped.
bool SendWithoutBlocking(int fd, std::string_view bytes);

}  // namespace qelto::cidr
