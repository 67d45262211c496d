#include "drivers/posix/cidr_driver.h"

#include <algorithm>
#include <utility>

#include "drivers/text_encoding.h"

namespace qelto::sim {

CidrDriver::CidrDriver(DeviceRoster roster, std::function<std::string()> socket_path,
                       std::string raw_log_path)
    : socket_path_(std::move(socket_path)),
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
  SessionList finished;  // destroyed (joined) after the lock is released
  std::lock_guard lock(mutex_);
  if (!session_) {
    std::optional<ListeningSocket> socket = ListeningSocket::Open(socket_path_(), socket_problem_);
    if (socket) socket_problem_.clear();
    session_ =
        std::make_unique<ControlSession>(std::move(socket), static_cast<SessionHandler&>(*this));
  }
  callback_ = callback;
  if (!raw_log_path_.empty() && !std::exchange(raw_log_tried_, true)) {
    std::string problem;
    raw_log_ = RawLogFile::Open(raw_log_path_, problem);
    if (!raw_log_) roster_.AddProblem("no raw data file: " + problem);
  }
  pending_.push_back(roster_.StartEvent(socket_problem_));
  session_->Wake();
  if (workers_.empty()) StartModemsLocked();
  if (!OnDriverThreadLocked()) finished.swap(retired_);
  return socket_problem_.empty() ? 0 : -1;
}

// Each modem's thread blocks on the lock for its first report until Install has returned.
void CidrDriver::StartModemsLocked() {
  const std::vector<DeviceConfig>& modems = roster_.modems();
  for (std::size_t modem = 0; modem < modems.size(); ++modem) {
    workers_.push_back(std::make_unique<ModemWorker>(
        generation_, modem, modems[modem], raw_log_.get(), static_cast<ModemSink&>(*this)));
  }
}

std::int32_t CidrDriver::Withdraw() {
  std::unique_ptr<ControlSession> stopping;
  SessionList finished;
  WorkerList workers;
  {
    std::lock_guard lock(mutex_);
    const bool on_driver_thread = OnDriverThreadLocked();
    callback_ = nullptr;
    pending_.clear();
    ++generation_;
    roster_.DisconnectModems();
    workers.swap(workers_);
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
  // Joining outside the lock: the thread may be inside the callback, which may call Info(), and
  // a modem's thread may be waiting for the lock to report.
  workers.clear();
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

void CidrDriver::OnModemReport(std::uint64_t generation, std::size_t modem, bool connected,
                               std::vector<DriverEvent> events) {
  std::lock_guard lock(mutex_);
  if (generation != generation_) return;
  roster_.SetModemConnected(modem, connected);
  if (!session_ || callback_ == nullptr || events.empty()) return;
  for (DriverEvent& event : events) pending_.push_back(std::move(event));
  session_->Wake();
}

CIDR_EventCallback CidrDriver::CallbackForThisThreadLocked() const {
  return session_ && session_->IsSessionThread() ? callback_ : nullptr;
}

bool CidrDriver::OnDriverThreadLocked() const {
  if (session_ && session_->IsSessionThread()) return true;
  return std::any_of(retired_.begin(), retired_.end(),
                     [](const auto& session) { return session->IsSessionThread(); });
}

}  // namespace qelto::sim
