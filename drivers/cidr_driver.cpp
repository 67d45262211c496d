#include "drivers/cidr_driver.h"

#include <algorithm>
#include <utility>

#include "drivers/device_runner.h"
#include "drivers/text_encoding.h"

namespace qelto::cidr {

CidrDriver::CidrDriver(DeviceRoster roster, std::unique_ptr<DriverPlatform> platform,
                       std::string raw_log_path)
    : platform_(std::move(platform)),
      raw_log_path_(std::move(raw_log_path)),
      roster_(std::move(roster)) {}

CidrDriver::~CidrDriver() {
  Withdraw();
}

std::int32_t CidrDriver::RegisterEvent(CIDR_EventCallback callback) {
  return callback != nullptr ? Install(callback) : Withdraw();
}

const char16_t* CidrDriver::Info() {
  thread_local std::u16string buffer;
  std::string text;
  {
    std::lock_guard lock(mutex_);
    text = roster_.InfoText();
  }
  buffer = WidenAscii(text);
  return buffer.c_str();
}

std::int32_t CidrDriver::Install(CIDR_EventCallback callback) {
  // Before a new channel is opened: a retired one may still hold the address (a named pipe is
  // gone only once its thread has closed every instance).
  JoinRetiredSessions();
  std::lock_guard lock(mutex_);
  if (!session_) {
    channel_problem_.clear();
    session_ = platform_->StartControlChannel(
        platform_->ControlAddress(), static_cast<SessionHandler&>(*this), channel_problem_);
  }
  callback_ = callback;
  if (!raw_log_path_.empty() && !std::exchange(raw_log_tried_, true)) {
    std::string problem;
    raw_log_ = platform_->OpenRawLog(raw_log_path_, problem);
    if (!raw_log_) roster_.AddProblem("no raw data file: " + problem);
  }
  pending_.push_back(roster_.StartEvent(channel_problem_));
  session_->Wake();
  if (runners_.empty()) StartDevicesLocked();
  return channel_problem_.empty() ? 0 : -1;
}

void CidrDriver::JoinRetiredSessions() {
  SessionList finished;
  {
    std::lock_guard lock(mutex_);
    if (!OnDriverThreadLocked()) finished.swap(retired_);
  }
  // Outside the lock: a retired thread may be waiting for it on its way out.
  finished.clear();
}

// Each modem's thread blocks on the lock for its first report until Install has returned.
void CidrDriver::StartDevicesLocked() {
  const std::vector<DeviceConfig>& modems = roster_.modems();
  for (std::size_t modem = 0; modem < modems.size(); ++modem) {
    std::unique_ptr<DeviceRunner> runner = platform_->StartDevice(
        generation_, modem, modems[modem], raw_log_.get(), static_cast<DeviceSink&>(*this));
    if (runner) runners_.push_back(std::move(runner));
  }
}

std::int32_t CidrDriver::Withdraw() {
  std::unique_ptr<ControlChannel> stopping;
  SessionList finished;
  RunnerList runners;
  {
    std::lock_guard lock(mutex_);
    const bool on_driver_thread = OnDriverThreadLocked();
    callback_ = nullptr;
    pending_.clear();
    ++generation_;
    roster_.DisconnectModems();
    runners.swap(runners_);
    stopping = std::move(session_);
    if (stopping) {
      stopping->RequestStop();
      stopping->ReleaseAddress();
    }
    if (on_driver_thread) {
      if (stopping) retired_.push_back(std::move(stopping));
    } else {
      finished.swap(retired_);
    }
  }
  // Joining outside the lock: the thread may be inside the callback, which may call Info(), and
  // a modem's thread may be waiting for the lock to report.
  runners.clear();
  stopping.reset();
  finished.clear();
  return 0;
}

void CidrDriver::OnWake() {
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

std::vector<std::string> CidrDriver::OnLine(std::string_view line) {
  CommandOutcome outcome;
  CIDR_EventCallback callback = nullptr;
  {
    std::lock_guard lock(mutex_);
    outcome = roster_.Execute(line);
    callback = CallbackForThisThreadLocked();
  }
  // Delivered before the reply is sent: a client that reads "OK" knows the callback has run.
  if (outcome.event && callback != nullptr) {
    callback(outcome.event->code, outcome.event->text.c_str());
  }
  return std::move(outcome.reply);
}

void CidrDriver::OnDeviceReport(std::uint64_t generation, std::size_t modem, bool connected,
                                std::vector<DriverEvent> events) {
  std::lock_guard lock(mutex_);
  if (generation != generation_) return;
  // A system refused as another section's double after it had logged in: its calls are the
  // other's, and it is connected no more than until its next reconnect, which it will not make.
  if (roster_.IsRefused(modem)) {
    roster_.SetModemConnected(modem, false);
    return;
  }
  roster_.SetModemConnected(modem, connected);
  if (!session_ || callback_ == nullptr || events.empty()) return;
  for (DriverEvent& event : events) pending_.push_back(std::move(event));
  session_->Wake();
}

bool CidrDriver::OnPbxResolved(std::uint64_t generation, std::size_t modem,
                               std::vector<std::string> addresses) {
  std::lock_guard lock(mutex_);
  if (generation != generation_) return false;
  const DeviceRoster::PbxClaim claim = roster_.ClaimPbxAddresses(modem, std::move(addresses));
  if (!claim.problem.empty() && session_ && callback_ != nullptr) {
    pending_.push_back(roster_.ProblemEvent(claim.problem));
    session_->Wake();
  }
  return claim.allowed;
}

CIDR_EventCallback CidrDriver::CallbackForThisThreadLocked() const {
  return session_ && session_->IsChannelThread() ? callback_ : nullptr;
}

bool CidrDriver::OnDriverThreadLocked() const {
  if (session_ && session_->IsChannelThread()) return true;
  return std::any_of(retired_.begin(), retired_.end(),
                     [](const auto& session) { return session->IsChannelThread(); });
}

}  // namespace qelto::cidr
