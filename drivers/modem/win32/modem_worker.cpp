#include "drivers/modem/win32/modem_worker.h"

#include <array>
#include <chrono>
#include <exception>
#include <optional>
#include <system_error>
#include <utility>

#include "common/win32/system_error_text.h"
#include "drivers/modem/win32/serial_port.h"
#include "drivers/win32/overlapped_io.h"

namespace qelto::sim {
namespace {

// A modem that cannot take a command within this long is as good as gone; a read of bytes
// already received ends at once, so one that takes this long has lost its port.
constexpr DWORD kWriteTimeoutMs = 2000;
constexpr DWORD kReadTimeoutMs = 2000;

ModemDevice::TimePoint Now() {
  return std::chrono::steady_clock::now();
}

// How long the worker waits before it looks for the modem's next bytes: the most a modem's
// line is delayed, small beside a ring's.
constexpr DWORD kPollIntervalMs = 50;

// The next wait: kPollIntervalMs, or less to be on time for `deadline`.
DWORD WaitTimeout(std::optional<ModemDevice::TimePoint> deadline) {
  if (!deadline) return kPollIntervalMs;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Now()).count();
  if (left <= 0) return 0;
  return left > kPollIntervalMs ? kPollIntervalMs : static_cast<DWORD>(left);
}

UniqueHandle ManualResetEvent() {
  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateEvent");
  }
  return event;
}

// Writes all of `bytes`, each part within kWriteTimeoutMs; false, with `why` set, when not.
bool WriteAll(HANDLE port, std::string_view bytes, HANDLE event, std::string& why) {
  while (!bytes.empty()) {
    const std::optional<DWORD> written =
        WriteWithin(port, bytes.data(), static_cast<DWORD>(bytes.size()), kWriteTimeoutMs, event);
    if (!written || *written == 0) {
      const DWORD error = GetLastError();
      why = !written && error != WAIT_TIMEOUT ? SystemErrorText(error)
                                              : "the port takes no more data";
      return false;
    }
    bytes.remove_prefix(*written);
  }
  return true;
}

// How many bytes the port has received and not yet given out; false, with `why` set, when the
// port refuses to say, as one whose USB modem was unplugged does.
bool BytesWaiting(HANDLE port, DWORD& count, std::string& why) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(port, &errors, &status)) {
    why = SystemErrorText(GetLastError());
    return false;
  }
  count = status.cbInQue;
  return true;
}

}  // namespace

ModemWorker::ModemWorker(std::uint64_t generation, std::size_t modem, DeviceConfig config,
                         RawLog* raw_log, ModemSink& sink)
    : generation_(generation),
      modem_(modem),
      config_(std::move(config)),
      raw_log_(raw_log),
      sink_(sink),
      stop_event_(ManualResetEvent()),
      read_event_(ManualResetEvent()),
      write_event_(ManualResetEvent()) {
  thread_ = std::thread([this] { Run(); });
}

ModemWorker::~ModemWorker() {
  SetEvent(stop_event_.get());
  if (thread_.joinable()) thread_.join();
}

void ModemWorker::Run() {
  ModemDevice device(config_.line, config_.modem);
  const auto pause = static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(kReopenInterval).count());
  do {
    try {
      OpenAndServe(device);
    } catch (const std::exception&) {
      // Out of memory: the port is closed again (RAII); try again later rather than end the
      // recorder's process, which an exception leaving the thread would do.
    }
  } while (WaitForSingleObject(stop_event_.get(), pause) == WAIT_TIMEOUT);
}

void ModemWorker::OpenAndServe(ModemDevice& device) {
  std::string error;
  UniqueHandle port = OpenSerialPort(config_.modem, error);
  if (!port) {
    Report(device, device.OnOpenFailed(error).events);
    return;
  }
  Raw(RawDirection::kNote, "opened " + config_.modem.port);
  const std::string why = Serve(port.get(), device);
  port.reset();
  Raw(RawDirection::kNote, "closed: " + why);
}

std::string ModemWorker::Serve(HANDLE port, ModemDevice& device) {
  std::string why;
  if (!Apply(device.OnOpened(Now()), port, device, why)) return why;
  std::array<char, 4096> buffer{};
  for (;;) {
    // Only bytes already there are read, so a read never waits: one that waited for the first
    // byte could not be relied on to end (under Wine it may not), and asking first is also how
    // a port that has gone is noticed while its modem is quiet.
    DWORD waiting = 0;
    if (!BytesWaiting(port, waiting, why)) return Lost(device, why);
    if (waiting > 0) {
      const DWORD size = waiting < buffer.size() ? waiting : static_cast<DWORD>(buffer.size());
      const std::optional<DWORD> received =
          ReadWithin(port, buffer.data(), size, kReadTimeoutMs, read_event_.get());
      if (!received) {
        const DWORD error = GetLastError();
        return Lost(device,
                    error == WAIT_TIMEOUT ? "the port does not answer" : SystemErrorText(error));
      }
      const std::string_view bytes(buffer.data(), *received);
      Raw(RawDirection::kRead, bytes);
      if (!Apply(device.OnBytes(bytes, Now()), port, device, why)) return why;
    }
    if (!Apply(device.OnTime(Now()), port, device, why)) return why;
    // While the modem talks, read on at once; the stop is looked at either way.
    const DWORD pause = waiting > 0 ? 0 : WaitTimeout(device.Deadline());
    if (WaitForSingleObject(stop_event_.get(), pause) != WAIT_TIMEOUT) return "the driver stopped";
  }
}

bool ModemWorker::Apply(const ModemStep& step, HANDLE port, ModemDevice& device, std::string& why) {
  Report(device, step.events);
  if (!step.send.empty()) {
    Raw(RawDirection::kSent, step.send);
    if (!WriteAll(port, step.send, write_event_.get(), why)) {
      why = Lost(device, why);
      return false;
    }
  }
  if (step.close) why = "the modem does not answer";
  return !step.close;
}

std::string ModemWorker::Lost(ModemDevice& device, std::string reason) {
  Report(device, device.OnLost(reason).events);
  return reason;
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
