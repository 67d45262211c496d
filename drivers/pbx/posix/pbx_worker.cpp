#include "drivers/pbx/posix/pbx_worker.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <exception>
#include <system_error>
#include <utility>

#include "drivers/pbx/md5.h"
#include "drivers/pbx/posix/tcp_client.h"

namespace qelto::sim {
namespace {

// A server that cannot take a few hundred bytes within this long is as good as gone.
constexpr std::chrono::milliseconds kWriteTimeout{2000};

PbxDevice::TimePoint Now() {
  return std::chrono::steady_clock::now();
}

std::string ErrnoText(int error) {
  return std::generic_category().message(error);
}

// Milliseconds until `deadline` for poll(), rounded up so the wait never ends early; -1 for none.
int PollTimeout(std::optional<PbxDevice::TimePoint> deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Now()).count();
  if (left <= 0) return 0;
  return left > 60'000 ? 60'000 : static_cast<int>(left);
}

bool SendAll(int fd, std::string_view bytes, std::string& why) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      why = ErrnoText(errno);
      return false;
    }
    pollfd room{fd, POLLOUT, 0};
    if (::poll(&room, 1, static_cast<int>(kWriteTimeout.count())) <= 0 ||
        (room.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      why = "the server takes no more data";
      return false;
    }
  }
  return true;
}

}  // namespace

PbxWorker::PbxWorker(std::uint64_t generation, std::size_t device, DeviceConfig config,
                     RawLog* raw_log, ModemSink& sink)
    : generation_(generation),
      device_(device),
      config_(std::move(config)),
      raw_log_(raw_log),
      sink_(sink) {
  std::array<int, 2> pipe_fds{};
  if (::pipe2(pipe_fds.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  wake_read_.Reset(pipe_fds[0]);
  wake_write_.Reset(pipe_fds[1]);
  thread_ = std::thread([this] { Run(); });
}

PbxWorker::~PbxWorker() {
  stop_ = true;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_write_.get(), &byte, 1);
  if (thread_.joinable()) thread_.join();
}

void PbxWorker::Run() {
  PbxDevice device(config_.line, config_.pbx, &Md5Hex);
  while (!stop_) {
    try {
      ConnectAndServe(device);
    } catch (const std::exception&) {
      // Out of memory: the socket is closed again (RAII); try again later rather than end the
      // recorder's process, which an exception leaving the thread would do.
    }
    if (!Pause(device.RetryDelay())) return;
  }
}

void PbxWorker::ConnectAndServe(PbxDevice& device) {
  std::string error;
  UniqueFd socket = ConnectTcp(config_.pbx.host, config_.pbx.port, wake_read_.get(), error);
  if (!socket.valid()) {
    if (!error.empty()) Report(device, device.OnConnectFailed(error).events);
    return;
  }
  Raw(RawDirection::kNote, "connected to " + device.address());
  const std::string why = Serve(socket.get(), device);
  socket.Reset();
  Raw(RawDirection::kNote, "closed: " + why);
}

std::string PbxWorker::Serve(int fd, PbxDevice& device) {
  std::string why;
  if (!Apply(device.OnConnected(Now()), fd, device, why)) return why;
  while (!stop_) {
    std::array<pollfd, 2> polled{{{fd, POLLIN, 0}, {wake_read_.get(), POLLIN, 0}}};
    if (::poll(polled.data(), polled.size(), PollTimeout(device.Deadline())) < 0 &&
        errno != EINTR) {
      why = ErrnoText(errno);
      Report(device, device.OnLost(why).events);
      return why;
    }
    if (stop_) break;
    if (polled[0].revents != 0 && !ReadSocket(fd, polled[0].revents, device, why)) return why;
    if (!Apply(device.OnTime(Now()), fd, device, why)) return why;
  }
  return "the driver stopped";
}

bool PbxWorker::Apply(const PbxStep& step, int fd, PbxDevice& device, std::string& why) {
  Report(device, step.events);
  if (step.close) {
    why = step.why;
    return false;
  }
  if (step.send.empty()) return true;
  Raw(RawDirection::kSent, step.send_shown);
  if (SendAll(fd, step.send, why)) return true;
  Report(device, device.OnLost(why).events);
  return false;
}

bool PbxWorker::ReadSocket(int fd, short revents, PbxDevice& device, std::string& why) {
  std::array<char, 16384> buffer{};
  const ssize_t received = ::recv(fd, buffer.data(), buffer.size(), 0);
  if (received > 0) {
    const std::string_view bytes(buffer.data(), static_cast<std::size_t>(received));
    Raw(RawDirection::kRead, bytes);
    return Apply(device.OnBytes(bytes, Now()), fd, device, why);
  }
  const bool retry = received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
  if (retry && (revents & (POLLERR | POLLHUP | POLLNVAL)) == 0) return true;
  why = received < 0 && !retry ? ErrnoText(errno) : "closed by the server";
  Report(device, device.OnLost(why).events);
  return false;
}

void PbxWorker::Report(const PbxDevice& device, std::vector<DriverEvent> events) {
  if (events.empty() && device.connected() == reported_connected_) return;
  reported_connected_ = device.connected();
  sink_.OnModemReport(generation_, device_, device.connected(), std::move(events));
}

void PbxWorker::Raw(RawDirection direction, std::string_view bytes) {
  if (raw_log_ != nullptr) raw_log_->Write(config_.line, direction, bytes);
}

bool PbxWorker::Pause(std::chrono::milliseconds duration) {
  const PbxDevice::TimePoint until = Now() + duration;
  while (!stop_) {
    pollfd wake{wake_read_.get(), POLLIN, 0};
    const int timeout = PollTimeout(until);
    if (timeout == 0) return true;
    if (::poll(&wake, 1, timeout) > 0) {
      std::array<char, 64> sink{};
      while (::read(wake_read_.get(), sink.data(), sink.size()) > 0) {
      }
    }
  }
  return false;
}

}  // namespace qelto::sim
