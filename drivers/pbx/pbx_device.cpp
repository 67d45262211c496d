#include "drivers/pbx/pbx_device.h"

#include <algorithm>
#include <utility>

#include "drivers/modem/modem_device.h"
#include "drivers/text_encoding.h"

namespace qelto::cidr {
namespace {

constexpr char kChallengeId[] = "qelto-challenge";
constexpr char kLoginId[] = "qelto-login";
constexpr char kPingId[] = "qelto-ping";
constexpr char kChannelsId[] = "qelto-channels";
constexpr char kMasked[] = "********";

// A server's words in a status text: printable ASCII, and short.
std::string Printable(std::string_view text) {
  return PrintablePath(text.substr(0, 80));
}

}  // namespace

PbxDevice::PbxDevice(std::int32_t line, PbxSettings settings, Md5HexFunction md5)
    : line_(line),
      settings_(std::move(settings)),
      md5_(md5),
      address_(PrintablePath(settings_.host + ":" + std::to_string(settings_.port))),
      calls_(line, settings_) {}

DeviceStep PbxDevice::OnCallsFileProblem(std::string_view problem) const {
  DeviceStep out;
  Status(std::string(problem), out);
  return out;
}

DeviceStep PbxDevice::OnOpenFailed(std::string_view reason) {
  DeviceStep out;
  ++failures_;
  refused_ = false;
  Problem("unavailable at " + address_ + " (" + std::string(reason) + "), retrying", out);
  return out;
}

DeviceStep PbxDevice::OnOpened(TimePoint now) {
  DeviceStep out;
  reader_.Reset();
  refused_ = false;
  answer_due_ = now + kPbxAnswerTimeout;
  if (settings_.plain_login) {
    state_ = State::kLogin;
    awaited_ = "Login";
    Send("Login",
         {{"ActionID", kLoginId},
          {"Username", settings_.user},
          {"Secret", settings_.secret},
          {"Events", "call"}},
         out);
  } else {
    state_ = State::kChallenge;
    awaited_ = "Challenge";
    Send("Challenge", {{"ActionID", kChallengeId}, {"AuthType", "MD5"}}, out);
  }
  return out;
}

DeviceStep PbxDevice::OnBytes(std::string_view bytes, TimePoint now) {
  DeviceStep out;
  if (state_ == State::kClosed) return out;
  std::string error;
  for (const AmiMessage& message : reader_.Append(bytes, error)) {
    OnMessage(message, now, out);
    if (out.close) return out;
  }
  if (!error.empty()) Drop(error, true, out);
  return out;
}

DeviceStep PbxDevice::OnTime(TimePoint now) {
  DeviceStep out;
  if (state_ == State::kClosed) return out;
  if (answer_due_ && now >= *answer_due_) {
    Drop("no answer to " + awaited_, true, out);
    return out;
  }
  if (state_ == State::kReady && !answer_due_ && now >= next_ping_) {
    answer_due_ = now + kPbxAnswerTimeout;
    awaited_ = "Ping";
    next_ping_ = now + kPbxPingInterval;
    Send("Ping", {{"ActionID", kPingId}}, out);
  }
  return out;
}

DeviceStep PbxDevice::OnLost(std::string_view reason) {
  DeviceStep out;
  if (state_ != State::kClosed) Drop(reason, false, out);
  return out;
}

std::optional<PbxDevice::TimePoint> PbxDevice::Deadline() const {
  if (answer_due_) return answer_due_;
  if (state_ == State::kReady) return next_ping_;
  return std::nullopt;
}

std::chrono::milliseconds PbxDevice::RetryDelay() const {
  if (refused_) return kPbxRefusedRetry;
  const int doublings = std::clamp(failures_ - 1, 0, 5);
  return std::min<std::chrono::milliseconds>(kPbxMaxRetryDelay,
                                             std::chrono::seconds(1 << doublings));
}

void PbxDevice::OnMessage(const AmiMessage& message, TimePoint now, DeviceStep& out) {
  if (!message.Get("Response").empty()) return OnResponse(message, now, out);
  if (state_ != State::kReady) return;  // events before the login: not ours to judge
  for (const PbxCall& call : calls_.OnEvent(message)) {
    out.remember.push_back(call.key);
    out.events.push_back(CallEvent(call.line, WidenAscii(call.digits)));
  }
  for (std::string& dropped : calls_.TakeDropped()) out.dropped.push_back(std::move(dropped));
}

void PbxDevice::OnResponse(const AmiMessage& message, TimePoint now, DeviceStep& out) {
  const std::string_view id = message.Get("ActionID");
  const bool success = message.Get("Response") == "Success";
  // Answers carry our ActionID; a system that drops it is taken at its word all the same.
  const auto answers = [&](const char* ours) { return id == ours || id.empty(); };
  if (state_ == State::kChallenge && answers(kChallengeId)) {
    const std::string_view challenge = message.Get("Challenge");
    if (!success || challenge.empty()) return Refused(message.Get("Message"), out);
    return SendLogin(challenge, now, out);
  }
  if (state_ == State::kLogin && answers(kLoginId)) {
    if (!success) return Refused(message.Get("Message"), out);
    return LoggedIn(now, out);
  }
  if (state_ == State::kReady && answers(kChannelsId) && awaited_ == "CoreShowChannels") {
    answer_due_.reset();
    return OnListingAnswer(message, success, out);
  }
  if (state_ == State::kReady && answers(kPingId) && awaited_ == "Ping") {
    answer_due_.reset();
    failures_ = 0;  // a connection that lives on: the next failure is tried again at once
  }
}

void PbxDevice::LoggedIn(TimePoint now, DeviceStep& out) {
  state_ = State::kReady;
  failures_ = 0;  // a server that lets us in is there: the next failure is tried again at once
  next_ping_ = now + kPbxPingInterval;
  last_problem_.clear();
  Status("ready at " + address_ + " as " + PrintablePath(settings_.user), out);
  // A call that rang while the connection was away (or before the recorder ran) may go on.
  answer_due_ = now + kPbxAnswerTimeout;
  awaited_ = "CoreShowChannels";
  Send("CoreShowChannels", {{"ActionID", kChannelsId}}, out);
}

void PbxDevice::OnListingAnswer(const AmiMessage& message, bool success, DeviceStep& out) {
  if (success) return calls_.OnListingBegun();
  if (std::exchange(listing_refused_, true)) return;
  const std::string_view why = message.Get("Message");
  Status("cannot list the calls in progress at " + address_ + " (" +
             (why.empty() ? std::string("no reason given") : Printable(why)) +
             "): give the manager user write = reporting, or a call that rings while the "
             "connection is away may be lost",
         out);
}

void PbxDevice::SendLogin(std::string_view challenge, TimePoint now, DeviceStep& out) {
  state_ = State::kLogin;
  awaited_ = "Login";
  answer_due_ = now + kPbxAnswerTimeout;
  Send("Login",
       {{"ActionID", kLoginId},
        {"Username", settings_.user},
        {"AuthType", "MD5"},
        {"Key", md5_(std::string(challenge) + settings_.secret)},
        {"Events", "call"}},
       out);
}

void PbxDevice::Send(std::string_view action,
                     const std::vector<std::pair<std::string, std::string>>& fields,
                     DeviceStep& out) const {
  const std::string head = "Action: " + std::string(action) + "\r\n";
  out.send += head;
  out.send_shown += head;
  for (const auto& [key, value] : fields) {
    out.send += key + ": " + value + "\r\n";
    const bool hidden = key == "Secret" || key == "Key";
    out.send_shown += key + ": " + (hidden ? std::string(kMasked) : value) + "\r\n";
  }
  out.send += "\r\n";
  out.send_shown += "\r\n";
}

void PbxDevice::Refused(std::string_view message, DeviceStep& out) {
  const std::string reason = message.empty() ? "no reason given" : Printable(message);
  calls_.OnDisconnected();
  reader_.Reset();
  state_ = State::kClosed;
  answer_due_.reset();
  refused_ = true;
  out.close = true;
  out.why = "login refused (" + reason + ")";
  Problem("login refused at " + address_ + " for user " + PrintablePath(settings_.user) + " (" +
              reason + "), retrying every " + std::to_string(kPbxRefusedRetry.count()) + " s",
          out);
}

void PbxDevice::Drop(std::string_view reason, bool close, DeviceStep& out) {
  const bool was_ready = state_ == State::kReady;
  calls_.OnDisconnected();
  reader_.Reset();
  state_ = State::kClosed;
  answer_due_.reset();
  ++failures_;
  out.close = close;
  out.why = reason;
  if (!was_ready) {
    Problem("unavailable at " + address_ + " (" + std::string(reason) + "), retrying", out);
    return;
  }
  last_problem_ = reason;
  Status("lost at " + address_ + " (" + std::string(reason) + "), reconnecting", out);
}

void PbxDevice::Problem(const std::string& text, DeviceStep& out) {
  if (text == last_problem_) return;
  last_problem_ = text;
  Status(text, out);
}

void PbxDevice::Status(const std::string& text, DeviceStep& out) const {
  const std::string whole = "Line " + std::to_string(line_) + ": pbx " + text;
  out.events.push_back(StatusEvent(PrintableUtf16(whole)));
}

}  // namespace qelto::cidr
