#include "drivers/device_runner.h"

#include <utility>

#include "drivers/text_encoding.h"

namespace qelto::cidr {

DriverEvent DeviceFaultEvent(std::int32_t line, std::string_view text) {
  return StatusEvent(PrintableUtf16("Line " + std::to_string(line) + ": device fault (" +
                                    std::string(text) + "), retrying"));
}

DeviceRunner::DeviceRunner(Identity identity, std::unique_ptr<DeviceSession> session,
                           std::unique_ptr<DeviceTransport> transport,
                           std::unique_ptr<DeviceWaiter> waiter, RawLog* raw_log, DeviceSink& sink)
    : identity_(identity),
      waiter_(std::move(waiter)),
      session_(std::move(session)),
      transport_(std::move(transport)),
      raw_log_(raw_log),
      sink_(sink) {
  thread_ = std::thread([this] { Run(); });
}

DeviceRunner::~DeviceRunner() {
  waiter_->Stop();
  if (thread_.joinable()) thread_.join();
}

void DeviceRunner::Run() {
  try {
    std::string why;
    Apply(session_->OnStart(), nullptr, why);
  } catch (const std::exception& error) {
    Fault(error);
  }
  while (!waiter_->stopping()) {
    bool again = true;
    try {
      again = OpenAndServe();
    } catch (const std::exception& error) {
      // Not let out of the thread, which would end the recorder's process.
      Fault(error);
    }
    if (waiter_->stopping()) return;
    if (!again) {
      waiter_->PauseUntil(std::nullopt);
      return;
    }
    if (!waiter_->PauseUntil(waiter_->Now() + session_->RetryDelay())) return;
  }
}

bool DeviceRunner::OpenAndServe() {
  OpenedLink opened = transport_->Open();
  if (opened.refused) return false;
  if (!opened.link) {
    if (!opened.why.empty()) Report(session_->OnOpenFailed(opened.why).events);
    return true;
  }
  Raw(RawDirection::kNote, opened.note);
  if (!opened.found.empty() && opened.found != last_found_) {
    // Once for each place: a modem found where it was before is no news for the log.
    Report({StatusEvent(
        PrintableUtf16("Line " + std::to_string(identity_.line) + ": " + opened.found))});
    last_found_ = opened.found;
  }
  link_open_ = true;
  const std::string why = Serve(*opened.link);
  opened.link.reset();
  link_open_ = false;
  Raw(RawDirection::kNote, "closed: " + why);
  last_fault_.clear();
  return true;
}

std::string DeviceRunner::Serve(DeviceLink& link) {
  std::string why;
  if (!Apply(session_->OnOpened(waiter_->Now()), &link, why)) return why;
  std::string bytes;
  while (!waiter_->stopping()) {
    bytes.clear();
    switch (link.Receive(session_->Deadline(), bytes, why)) {
      case DeviceLink::Received::kStopped:
        return "the driver stopped";
      case DeviceLink::Received::kLost:
        Report(session_->OnLost(why).events);
        return why;
      case DeviceLink::Received::kBytes:
        break;
    }
    if (!bytes.empty()) {
      Raw(RawDirection::kRead, bytes);
      if (!Apply(session_->OnBytes(bytes, waiter_->Now()), &link, why)) return why;
    }
    if (!Apply(session_->OnTime(waiter_->Now()), &link, why)) return why;
  }
  return "the driver stopped";
}

bool DeviceRunner::Apply(const DeviceStep& step, DeviceLink* link, std::string& why) {
  Report(step.events);
  if (step.close) {
    why = step.why;
    return false;
  }
  if (step.send.empty() || link == nullptr) return true;
  Raw(RawDirection::kSent, step.send_shown.empty() ? step.send : step.send_shown);
  if (link->Send(step.send, why)) return true;
  Report(session_->OnLost(why).events);
  return false;
}

// The connection, if one was open, is closed by now (RAII): the session is told it is lost, so
// that it opens afresh, and the recorder learns why.
void DeviceRunner::Fault(const std::exception& error) {
  const bool link_was_open = std::exchange(link_open_, false);
  try {
    const std::string text = error.what();
    Raw(RawDirection::kNote, "fault: " + text);
    std::vector<DriverEvent> events;
    if (link_was_open) events = session_->OnLost("fault: " + text).events;
    if (text != last_fault_) events.push_back(DeviceFaultEvent(identity_.line, text));
    last_fault_ = text;
    Report(std::move(events));
  } catch (const std::exception&) {
    // Out of memory again: the next attempt tells it, if it can.
  }
}

void DeviceRunner::Report(std::vector<DriverEvent> events) {
  const bool connected = session_->connected();
  if (events.empty() && connected == reported_connected_) return;
  reported_connected_ = connected;
  sink_.OnDeviceReport(identity_.generation, identity_.device, connected, std::move(events));
}

void DeviceRunner::Raw(RawDirection direction, std::string_view bytes) {
  if (raw_log_ != nullptr) raw_log_->Write(identity_.line, direction, bytes);
}

}  // namespace qelto::cidr
