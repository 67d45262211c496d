#include "drivers/control/posix/unix_socket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace qelto::cidr {
namespace {

constexpr int kBacklog = 16;

std::string ErrnoText(const std::string& path, int error) {
  return path + ": " + std::generic_category().message(error);
}

std::optional<sockaddr_un> SocketAddress(const std::string& path) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return std::nullopt;
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, path.size());
  return address;
}

bool Connect(int fd, const sockaddr_un& address) {
  int result = 0;
  do {
    result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

// Makes way for a new socket at `path`: removes a stale socket file, refuses anything else.
// Returns an empty text when the path is free.
std::string ClearStaleSocket(const std::string& path, const sockaddr_un& address) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    return errno == ENOENT ? std::string() : ErrnoText(path, errno);
  }
  if (!S_ISSOCK(info.st_mode)) return path + ": exists and is not a socket";
  UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!probe.valid()) return ErrnoText(path, errno);
  if (Connect(probe.get(), address)) return path + ": another simulator is listening there";
  if (errno != ECONNREFUSED) return ErrnoText(path, errno);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return ErrnoText(path, errno);
  return {};
}

}  // namespace

ListeningSocket::ListeningSocket(UniqueFd fd, std::string path, dev_t device, ino_t inode)
    : fd_(std::move(fd)), path_(std::move(path)), device_(device), inode_(inode) {}

ListeningSocket::ListeningSocket(ListeningSocket&& other) noexcept
    : fd_(std::move(other.fd_)),
      path_(std::move(other.path_)),
      device_(other.device_),
      inode_(other.inode_),
      linked_(std::exchange(other.linked_, false)) {}

std::optional<ListeningSocket> ListeningSocket::Open(const std::string& path, std::string& error) {
  const std::optional<sockaddr_un> address = SocketAddress(path);
  if (!address) {
    error = path + ": not a usable socket path (empty or too long)";
    return std::nullopt;
  }
  error = ClearStaleSocket(path, *address);
  if (!error.empty()) return std::nullopt;
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.valid()) {
    error = ErrnoText(path, errno);
    return std::nullopt;
  }
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0) {
    error = ErrnoText(path, errno);
    return std::nullopt;
  }
  // Nobody can connect before listen(), so narrowing the mode here leaves no window open.
  struct stat info {};
  if (::chmod(path.c_str(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd.get(), kBacklog) != 0 ||
      ::stat(path.c_str(), &info) != 0) {
    error = ErrnoText(path, errno);
    ::unlink(path.c_str());
    return std::nullopt;
  }
  return ListeningSocket(std::move(fd), path, info.st_dev, info.st_ino);
}

void ListeningSocket::Unlink() {
  if (!std::exchange(linked_, false)) return;
  struct stat info {};
  if (::stat(path_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_) {
    ::unlink(path_.c_str());
  }
}

UniqueFd ConnectUnixSocket(const std::string& path) {
  const std::optional<sockaddr_un> address = SocketAddress(path);
  if (!address) {
    errno = ENAMETOOLONG;
    return {};
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return {};
  if (!Connect(fd.get(), *address)) {
    const int error = errno;
    fd.Reset();
    errno = error;
  }
  return fd;
}

bool SendWithoutBlocking(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

}  // namespace qelto::cidr
