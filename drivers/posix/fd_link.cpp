#include "drivers/posix/fd_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <system_error>

namespace qelto::cidr {
namespace {

// A device that cannot take a few hundred bytes within this long is as good as gone.
constexpr std::chrono::milliseconds kWriteTimeout{2000};
constexpr short kFailed = POLLERR | POLLHUP | POLLNVAL;

std::string ErrnoText(int error) {
  return std::generic_category().message(error);
}

}  // namespace

DeviceLink::Received FdLink::Receive(std::optional<TimePoint> until, std::string& bytes,
                                     std::string& why) {
  std::array<pollfd, 2> polled{{{fd_.get(), POLLIN, 0}, {waiter_.wake_fd(), POLLIN, 0}}};
  if (::poll(polled.data(), polled.size(), PollTimeout(until)) < 0) {
    return errno == EINTR ? Received::kBytes : Lost(ErrnoText(errno), why);
  }
  if (waiter_.stopping()) return Received::kStopped;
  const short revents = polled[0].revents;
  if (revents == 0) return Received::kBytes;
  std::array<char, 16384> buffer{};
  const ssize_t received = kind_ == Kind::kSocket
                               ? ::recv(fd_.get(), buffer.data(), buffer.size(), 0)
                               : ::read(fd_.get(), buffer.data(), buffer.size());
  if (received > 0) {
    bytes.assign(buffer.data(), static_cast<std::size_t>(received));
    return Received::kBytes;
  }
  const bool retry = received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
  if (retry && (revents & kFailed) == 0) return Received::kBytes;
  if (received < 0 && !retry) return Lost(ErrnoText(errno), why);
  return Lost(kind_ == Kind::kSocket ? "closed by the server" : "hang-up", why);
}

bool FdLink::Send(std::string_view bytes, std::string& why) {
  while (!bytes.empty()) {
    // A socket closed by its server must not raise SIGPIPE in the recorder's process.
    const ssize_t written = kind_ == Kind::kSocket
                                ? ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                : ::write(fd_.get(), bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      why = ErrnoText(errno);
      return false;
    }
    pollfd room{fd_.get(), POLLOUT, 0};
    if (::poll(&room, 1, static_cast<int>(kWriteTimeout.count())) <= 0 ||
        (room.revents & kFailed) != 0) {
      why =
          kind_ == Kind::kSocket ? "the server takes no more data" : "the port takes no more data";
      return false;
    }
  }
  return true;
}

DeviceLink::Received FdLink::Lost(std::string reason, std::string& why) const {
  why = std::move(reason);
  return Received::kLost;
}

}  // namespace qelto::cidr
