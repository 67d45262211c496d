#include "drivers/control/posix/control_session.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>

namespace qelto::cidr {
namespace {

void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void Drain(int fd) {
  std::array<char, 64> sink{};
  while (::read(fd, sink.data(), sink.size()) > 0) {
  }
}

}  // namespace

ControlSession::ControlSession(std::optional<ListeningSocket> socket, SessionHandler& handler)
    : handler_(handler), socket_(std::move(socket)) {
  std::array<int, 2> pipe_fds{};
  if (::pipe2(pipe_fds.data(), O_NONBLOCK | O_CLOEXEC) != 0) ThrowErrno("pipe2");
  wake_read_.Reset(pipe_fds[0]);
  wake_write_.Reset(pipe_fds[1]);
  thread_ = std::thread([this] { Run(); });
  thread_id_ = thread_.get_id();
}

ControlSession::~ControlSession() {
  RequestStop();
  if (!thread_.joinable()) return;
  // Only reachable when the process exits from inside a callback: a thread cannot join itself.
  if (IsChannelThread()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

void ControlSession::Wake() {
  const char byte = 1;
  // A full pipe already holds a wake-up, so a failed write loses nothing.
  [[maybe_unused]] const ssize_t written = ::write(wake_write_.get(), &byte, 1);
}

void ControlSession::RequestStop() {
  stop_ = true;
  Wake();
}

void ControlSession::ReleaseAddress() {
  if (socket_) socket_->Unlink();
}

void ControlSession::Run() {
  std::vector<pollfd> polled;
  while (!stop_) {
    // The wake pipe first, then the clients in the order of `connections_`, then the listening
    // socket while there is room for another client.
    polled.assign({pollfd{wake_read_.get(), POLLIN, 0}});
    for (const Connection& connection : connections_) {
      polled.push_back(pollfd{connection.fd.get(), POLLIN, 0});
    }
    const bool accepting = socket_ && connections_.size() < kMaxClients;
    if (accepting) polled.push_back(pollfd{socket_->fd(), POLLIN, 0});
    if (::poll(polled.data(), polled.size(), PollTimeoutMs()) < 0) {
      if (errno == EINTR) continue;
      return;  // cannot wait any more; spinning would be worse than going quiet
    }
    if (polled[0].revents != 0) {
      Drain(wake_read_.get());
      if (stop_) return;
      handler_.OnWake();
      if (stop_) return;  // the callback may have withdrawn: serve no further commands
    }
    // Backwards, so erasing a finished client leaves the indexes still to visit in place.
    for (std::size_t i = connections_.size(); i-- > 0;) {
      if (polled[1 + i].revents == 0) continue;
      if (!ServeClient(connections_[i])) connections_.erase(connections_.begin() + i);
      if (stop_) return;
    }
    CloseIdleClients();
    if (accepting && polled.back().revents != 0) AcceptClient();
  }
}

int ControlSession::PollTimeoutMs() const {
  if (connections_.empty()) return -1;
  const auto oldest = std::min_element(
      connections_.begin(), connections_.end(),
      [](const Connection& a, const Connection& b) { return a.last_heard < b.last_heard; });
  const auto left = oldest->last_heard + kIdleClientTimeout - SteadyClock::now();
  // Rounded up, so the wait never ends just short of the moment and spins.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::clamp<decltype(ms)>(ms, 0, kIdleClientTimeout.count() * 1000));
}

void ControlSession::CloseIdleClients() {
  const SteadyClock::time_point now = SteadyClock::now();
  std::erase_if(connections_, [&](const Connection& connection) {
    return now - connection.last_heard >= kIdleClientTimeout;
  });
}

void ControlSession::AcceptClient() {
  UniqueFd client(::accept4(socket_->fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
  if (!client.valid()) return;
  connections_.push_back(
      Connection{std::move(client), LineSplitter(kMaxLineBytes), SteadyClock::now()});
}

bool ControlSession::ServeClient(Connection& connection) {
  std::array<char, 4096> buffer{};
  const ssize_t received = ::recv(connection.fd.get(), buffer.data(), buffer.size(), 0);
  if (received < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  connection.last_heard = SteadyClock::now();
  if (received == 0) {
    const std::optional<std::string> last = connection.lines.TakeRemainder();
    if (last) Answer(connection, *last);
    return false;
  }
  if (!connection.lines.Append(
          std::string_view(buffer.data(), static_cast<std::size_t>(received)))) {
    SendWithoutBlocking(connection.fd.get(), "ERROR line too long\n");
    return false;
  }
  while (std::optional<std::string> line = connection.lines.NextLine()) {
    if (!Answer(connection, *line) || stop_) return false;
  }
  return true;
}

bool ControlSession::Answer(Connection& connection, std::string_view line) {
  std::string reply;
  for (const std::string& reply_line : handler_.OnLine(line)) reply += reply_line + '\n';
  return SendWithoutBlocking(connection.fd.get(), reply);
}

}  // namespace qelto::cidr
