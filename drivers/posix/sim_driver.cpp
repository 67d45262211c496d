#include "drivers/posix/sim_driver.h"

#include <algorithm>
#include <utility>

#include "drivers/command_executor.h"
#include "drivers/info_text.h"
#include "drivers/text_encoding.h"

namespace qelto::sim {

SimDriver::SimDriver(int device_count, std::function<std::string()> socket_path)
    : socket_path_(std::move(socket_path)), devices_(device_count) {}

SimDriver::~SimDriver() {
  Withdraw();
}

std::int32_t SimDriver::RegisterEvent(CIDR_EventCallback callback) {
  return callback != nullptr ? Install(callback) : Withdraw();
}

const char16_t* SimDriver::Info() {
  thread_local std::u16string buffer;
  SimulatedDevices devices(1);
  {
    std::lock_guard lock(mutex_);
    devices = devices_;
  }
  buffer = WidenAscii(BuildInfoText(devices));
  return buffer.c_str();
}

std::int32_t SimDriver::Install(CIDR_EventCallback callback) {
  SessionList finished;  // destroyed (joined) after the lock is released
  std::lock_guard lock(mutex_);
  if (!session_) {
    std::optional<ListeningSocket> socket = ListeningSocket::Open(socket_path_(), socket_problem_);
    if (socket) socket_problem_.clear();
    session_ =
        std::make_unique<ControlSession>(std::move(socket), static_cast<SessionHandler&>(*this));
  }
  callback_ = callback;
  pending_.push_back(StartStatusEvent(devices_, socket_problem_));
  session_->Wake();
  if (!OnDriverThreadLocked()) finished.swap(retired_);
  return socket_problem_.empty() ? 0 : -1;
}

std::int32_t SimDriver::Withdraw() {
  std::unique_ptr<ControlSession> stopping;
  SessionList finished;
  {
    std::lock_guard lock(mutex_);
    const bool on_driver_thread = OnDriverThreadLocked();
    callback_ = nullptr;
    pending_.clear();
    stopping = std::move(session_);
    if (stopping) {
      stopping->RequestStop();
      stopping->UnlinkSocket();
    }
    if (on_driver_thread) {
      if (stopping) retired_.push_back(std::move(stopping));
    } else {
      finished.swap(retired_);
    }
  }
  // Joining outside the lock: the thread may be inside the callback, which may call Info().
  stopping.reset();
  finished.clear();
  return 0;
}

void SimDriver::OnWake() {
  for (;;) {
    DriverEvent event;
    CIDR_EventCallback callback = nullptr;
    {
      std::lock_guard lock(mutex_);
      callback = CallbackForThisThreadLocked();
      if (pending_.empty() || callback == nullptr) return;
      event = std::move(pending_.front());
      pending_.pop_front();
    }
    callback(event.code, event.text.c_str());
  }
}

std::vector<std::string> SimDriver::OnLine(std::string_view line) {
  CommandOutcome outcome;
  CIDR_EventCallback callback = nullptr;
  {
    std::lock_guard lock(mutex_);
    outcome = ExecuteCommandLine(line, devices_);
    callback = CallbackForThisThreadLocked();
  }
  // Delivered before the reply is sent: a client that reads "OK" knows the callback has run.
  if (outcome.event && callback != nullptr) {
    callback(outcome.event->code, outcome.event->text.c_str());
  }
  return std::move(outcome.reply);
}

CIDR_EventCallback SimDriver::CallbackForThisThreadLocked() const {
  return session_ && session_->IsSessionThread() ? callback_ : nullptr;
}

bool SimDriver::OnDriverThreadLocked() const {
  if (session_ && session_->IsSessionThread()) return true;
  return std::any_of(retired_.begin(), retired_.end(),
                     [](const auto& session) { return session->IsSessionThread(); });
}

}  // namespace qelto::sim
