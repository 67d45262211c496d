#include "drivers/pbx/posix/pbx_worker.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <exception>
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
                     RawLog* raw_log, ModemSink& sink, std::shared_ptr<HostResolver> resolver,
                     DetachedStart start)
    : generation_(generation),
      device_(device),
      config_(std::move(config)),
      raw_log_(raw_log),
      sink_(sink),
      resolver_(resolver ? std::move(resolver) : SystemHostResolver()),
      start_(start ? std::move(start) : DetachedStart(&StartDetachedThread)) {
  thread_.Start([this] { Run(); });
}

void PbxWorker::Run() {
  PbxDevice device(config_.line, config_.pbx, &Md5Hex);
  try {
    OpenReportedCalls(device);
  } catch (const std::exception&) {
    // Out of memory: the calls are remembered while this process runs only.
  }
  while (!thread_.stopping()) {
    try {
      ConnectAndServe(device);
    } catch (const std::exception&) {
      // Out of memory: the socket is closed again (RAII); try again later rather than end the
      // recorder's process, which an exception leaving the thread would do.
    }
    if (refused_) {
      while (thread_.Pause(std::chrono::hours(1))) {
      }
      return;
    }
    if (!thread_.Pause(device.RetryDelay())) return;
  }
}

void PbxWorker::ConnectAndServe(PbxDevice& device) {
  const std::optional<HostLookupResult> found = LookUpHost(
      resolver_, config_.pbx.host, config_.pbx.port, start_, [this] { return thread_.stopping(); });
  if (!found) return;  // stopping
  if (found->addresses.empty()) {
    Report(device, device.OnConnectFailed("cannot find the host: " + found->error).events);
    return;
  }
  if (!sink_.OnPbxResolved(generation_, device_, NumericAddresses(*found))) {
    refused_ = true;
    return;
  }
  std::string error;
  UniqueFd socket = ConnectTcp(found->addresses, thread_.wake_fd(), error);
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
  while (!thread_.stopping()) {
    std::array<pollfd, 2> polled{{{fd, POLLIN, 0}, {thread_.wake_fd(), POLLIN, 0}}};
    if (::poll(polled.data(), polled.size(), PollTimeout(device.Deadline())) < 0 &&
        errno != EINTR) {
      why = ErrnoText(errno);
      Report(device, device.OnLost(why).events);
      return why;
    }
    if (thread_.stopping()) break;
    if (polled[0].revents != 0 && !ReadSocket(fd, polled[0].revents, device, why)) return why;
    if (!Apply(device.OnTime(Now()), fd, device, why)) return why;
  }
  return "the driver stopped";
}

bool PbxWorker::Apply(const PbxStep& step, int fd, PbxDevice& device, std::string& why) {
  // Kept before they are handed on: a recorder restarted now does not take them again.
  if (reported_calls_ && !step.remember.empty()) reported_calls_->Keep(step.remember);
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

void PbxWorker::OpenReportedCalls(PbxDevice& device) {
  std::string problem;
  reported_calls_ = std::make_unique<ReportedCallsFile>(ReportedCallsFileName(config_.line),
                                                        SecondsSince1970(), problem);
  device.Remembered(reported_calls_->keys());
  if (!problem.empty()) Report(device, device.OnCallsFileProblem(problem).events);
}

void PbxWorker::Report(const PbxDevice& device, std::vector<DriverEvent> events) {
  if (events.empty() && device.connected() == reported_connected_) return;
  reported_connected_ = device.connected();
  sink_.OnModemReport(generation_, device_, device.connected(), std::move(events));
}

void PbxWorker::Raw(RawDirection direction, std::string_view bytes) {
  if (raw_log_ != nullptr) raw_log_->Write(config_.line, direction, bytes);
}

}  // namespace qelto::sim
