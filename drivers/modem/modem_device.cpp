#include "drivers/modem/modem_device.h"

#include <algorithm>
#include <utility>

#include "drivers/text_encoding.h"

namespace qelto::cidr {
namespace {

std::string JoinedWithAnd(const std::vector<std::string>& words) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) text += i + 1 == words.size() ? " and " : ", ";
    text += words[i];
  }
  return text;
}

}  // namespace

std::string PrintablePath(std::string_view path) {
  std::string text(path);
  for (char& c : text) {
    if (c < ' ' || c > '~') c = '?';
  }
  return text;
}

ModemDevice::ModemDevice(std::int32_t line, ModemSettings settings)
    : line_(line),
      port_(PrintablePath(settings.port)),
      dialogue_(std::move(settings.init), std::move(settings.caller_id)),
      calls_(settings.ring_timeout),
      quiet_spell_(settings.quiet_spell) {}

DeviceStep ModemDevice::OnOpenFailed(std::string_view reason) {
  DeviceStep out;
  if (watch_ == Watch::kReopening) {
    Lost(reason, out);
  } else {
    Problem(reason, out);
  }
  return out;
}

DeviceStep ModemDevice::OnOpened(TimePoint now) {
  DeviceStep out;
  reader_.Clear();
  last_heard_ = now;
  port_open_ = true;
  // A check under way is over: the dialogue that begins now tells whether the modem hears.
  if (watch_ != Watch::kReopening) watch_ = Watch::kListening;
  Apply(dialogue_.Start(now), out);
  return out;
}

DeviceStep ModemDevice::OnBytes(std::string_view bytes, TimePoint now) {
  DeviceStep out;
  if (!bytes.empty()) last_heard_ = now;
  for (const std::string& text : reader_.Append(bytes)) {
    for (const ModemLine& line : ParseModemLines(text)) {
      // The OK to AT, or a call beginning: either way the modem still hears. ERROR is no
      // answer to AT: a modem in that state is better initialised again.
      if (watch_ == Watch::kProbing && line.kind != ModemLineKind::kOther &&
          line.kind != ModemLineKind::kError) {
        watch_ = Watch::kListening;
      }
      Apply(dialogue_.OnLine(line.kind, now), out);
      AddCalls(calls_.OnLine(line, now), out);
    }
  }
  out.dropped = calls_.TakeDropped();
  return out;
}

DeviceStep ModemDevice::OnTime(TimePoint now) {
  DeviceStep out;
  Apply(dialogue_.OnTime(now), out);
  AddCalls(calls_.OnTime(now), out);
  if (!out.close) Watchdog(now, out);
  return out;
}

DeviceStep ModemDevice::OnLost(std::string_view reason) {
  DeviceStep out;
  AddCalls(calls_.Flush(), out);
  reader_.Clear();
  dialogue_.Stop();
  watch_ = Watch::kListening;
  port_open_ = false;
  if (!connected_) {
    Problem(reason, out);
    return out;
  }
  Lost(reason, out);
  return out;
}

std::optional<ModemDevice::TimePoint> ModemDevice::Deadline() const {
  std::optional<TimePoint> earliest = dialogue_.Deadline();
  const auto consider = [&earliest](std::optional<TimePoint> moment) {
    if (moment && (!earliest || *moment < *earliest)) earliest = moment;
  };
  const std::optional<TimePoint> call = calls_.Deadline();
  consider(call);
  if (watch_ == Watch::kProbing) {
    consider(probe_deadline_);
  } else if (watch_ == Watch::kListening && port_open_ && connected_ && !dialogue_.running() &&
             !call) {
    consider(last_heard_ + quiet_spell_);
  }
  return earliest;
}

void ModemDevice::Watchdog(TimePoint now, DeviceStep& out) {
  if (watch_ == Watch::kProbing && now >= probe_deadline_) {
    watch_ = Watch::kReinitialising;
    Status("did not answer AT within " + std::to_string(kProbeTimeout.count()) +
               " s; initialising it again",
           out);
    Apply(dialogue_.Start(now), out);
    return;
  }
  // A modem busy with a call, or still being initialised, is never disturbed.
  if (watch_ != Watch::kListening || !port_open_ || !connected_ || dialogue_.running() ||
      calls_.Deadline() || now < last_heard_ + quiet_spell_) {
    return;
  }
  watch_ = Watch::kProbing;
  probe_deadline_ = now + kProbeTimeout;
  out.send += "AT\r";
}

void ModemDevice::Apply(const ModemDialogue::Step& step, DeviceStep& out) {
  switch (step.kind) {
    case ModemDialogue::Step::Kind::kWait:
      return;
    case ModemDialogue::Step::Kind::kSend:
      out.send += step.text + '\r';
      return;
    case ModemDialogue::Step::Kind::kReady:
      connected_ = true;
      watch_ = Watch::kListening;
      last_problem_.clear();
      Status(ReadyText(), out);
      return;
    case ModemDialogue::Step::Kind::kFailed:
      AddCalls(calls_.Flush(), out);
      OnDialogueFailed(step.text, out);
      out.close = true;
      out.why = "the modem does not answer";
      port_open_ = false;
      return;
  }
}

void ModemDevice::OnDialogueFailed(const std::string& reason, DeviceStep& out) {
  switch (watch_) {
    case Watch::kReinitialising:
      watch_ = Watch::kReopening;
      Status("did not answer when initialised again (" + reason + "); reopening " + port_, out);
      return;
    case Watch::kReopening:
      Lost(reason, out);
      return;
    case Watch::kListening:
    case Watch::kProbing:
      Problem(reason, out);
      return;
  }
}

void ModemDevice::Lost(std::string_view reason, DeviceStep& out) {
  watch_ = Watch::kListening;
  connected_ = false;
  last_problem_ = reason;
  Status("lost at " + port_ + " (" + std::string(reason) + ")", out);
}

void ModemDevice::AddCalls(std::vector<std::string> calls, DeviceStep& out) const {
  for (const std::string& digits : calls)
    out.events.push_back(CallEvent(line_, WidenAscii(digits)));
}

void ModemDevice::Problem(std::string_view reason, DeviceStep& out) {
  if (reason == last_problem_) return;
  last_problem_ = reason;
  Status("unavailable at " + port_ + " (" + std::string(reason) + "), retrying every " +
             std::to_string(kReopenInterval.count()) + " s",
         out);
}

void ModemDevice::Status(const std::string& text, DeviceStep& out) const {
  const std::string whole = "Line " + std::to_string(line_) + ": modem " + text;
  out.events.push_back(StatusEvent(PrintableUtf16(whole)));
}

std::string ModemDevice::ReadyText() const {
  std::string text = "ready at " + port_;
  const std::string& accepted = dialogue_.caller_id_command();
  if (!accepted.empty()) {
    text += ", caller ID on (" + accepted + ")";
  } else {
    text += ", but it refused " + JoinedWithAnd(dialogue_.caller_id_commands()) +
            ": only rings are reported";
  }
  if (!dialogue_.refused_init().empty()) {
    text += "; it answered ERROR to " + JoinedWithAnd(dialogue_.refused_init());
  }
  return text;
}

}  // namespace qelto::cidr
