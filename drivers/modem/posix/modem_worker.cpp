#include "drivers/modem/posix/modem_worker.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <exception>
#include <utility>

#include "drivers/modem/posix/serial_port.h"

namespace qelto::sim {
namespace {

// A modem that cannot take a command within this long is as good as gone.
constexpr std::chrono::milliseconds kWriteTimeout{2000};

ModemDevice::TimePoint Now() {
  return std::chrono::steady_clock::now();
}

std::string ErrnoText(int error) {
  return std::generic_category().message(error);
}

// Writes all of `bytes` to the non-blocking port, waiting for room at most kWriteTimeout.
bool WriteAll(int fd, std::string_view bytes, std::string& why) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      why = ErrnoText(errno);
      return false;
    }
    pollfd room{fd, POLLOUT, 0};
    if (::poll(&room, 1, static_cast<int>(kWriteTimeout.count())) <= 0 ||
        (room.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      why = "the port takes no more data";
      return false;
    }
  }
  return true;
}

}  // namespace

ModemWorker::ModemWorker(std::uint64_t generation, std::size_t modem, DeviceConfig config,
                         RawLog* raw_log, ModemSink& sink)
    : generation_(generation),
      modem_(modem),
      config_(std::move(config)),
      raw_log_(raw_log),
      sink_(sink) {
  thread_.Start([this] { Run(); });
}

void ModemWorker::Run() {
  ModemDevice device(config_.line, config_.modem);
  while (!thread_.stopping()) {
    try {
      OpenAndServe(device);
    } catch (const std::exception&) {
      // Out of memory: the port is closed again (RAII); try again later rather than end the
      // recorder's process, which an exception leaving the thread would do.
    }
    if (!thread_.Pause(kReopenInterval)) return;
  }
}

void ModemWorker::OpenAndServe(ModemDevice& device) {
  std::string error;
  UniqueFd port = OpenSerialPort(config_.modem, error);
  if (!port.valid()) {
    Report(device, device.OnOpenFailed(error).events);
    return;
  }
  Raw(RawDirection::kNote, "opened " + config_.modem.port);
  const std::string why = Serve(port.get(), device);
  port.Reset();
  Raw(RawDirection::kNote, "closed: " + why);
}

std::string ModemWorker::Serve(int fd, ModemDevice& device) {
  std::string why;
  if (!Apply(device.OnOpened(Now()), fd, device, why)) return why;
  while (!thread_.stopping()) {
    std::array<pollfd, 2> polled{{{fd, POLLIN, 0}, {thread_.wake_fd(), POLLIN, 0}}};
    if (::poll(polled.data(), polled.size(), PollTimeout(device.Deadline())) < 0 &&
        errno != EINTR) {
      why = ErrnoText(errno);
      Report(device, device.OnLost(why).events);
      return why;
    }
    if (thread_.stopping()) break;
    if (polled[0].revents != 0 && !ReadPort(fd, polled[0].revents, device, why)) return why;
    if (!Apply(device.OnTime(Now()), fd, device, why)) return why;
  }
  return "the driver stopped";
}

bool ModemWorker::Apply(const ModemStep& step, int fd, ModemDevice& device, std::string& why) {
  Report(device, step.events);
  if (!step.send.empty()) {
    Raw(RawDirection::kSent, step.send);
    if (!WriteAll(fd, step.send, why)) {
      Report(device, device.OnLost(why).events);
      return false;
    }
  }
  if (step.close) why = "the modem does not answer";
  return !step.close;
}

bool ModemWorker::ReadPort(int fd, short revents, ModemDevice& device, std::string& why) {
  std::array<char, 4096> buffer{};
  const ssize_t received = ::read(fd, buffer.data(), buffer.size());
  if (received > 0) {
    const std::string_view bytes(buffer.data(), static_cast<std::size_t>(received));
    Raw(RawDirection::kRead, bytes);
    return Apply(device.OnBytes(bytes, Now()), fd, device, why);
  }
  const bool retry = received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
  if (retry && (revents & (POLLERR | POLLHUP | POLLNVAL)) == 0) return true;
  why = received < 0 && !retry ? ErrnoText(errno) : "hang-up";
  Report(device, device.OnLost(why).events);
  return false;
}

void ModemWorker::Report(const ModemDevice& device, std::vector<DriverEvent> events) {
  if (events.empty() && device.connected() == reported_connected_) return;
  reported_connected_ = device.connected();
  sink_.OnModemReport(generation_, modem_, device.connected(), std::move(events));
}

void ModemWorker::Raw(RawDirection direction, std::string_view bytes) {
  if (raw_log_ != nullptr) raw_log_->Write(config_.line, direction, bytes);
}

}  // namespace qelto::sim
