#include "drivers/pbx/pbx_calls.h"

#include <algorithm>
#include <utility>

#include "drivers/modem/modem_line.h"

namespace qelto::cidr {
namespace {

enum class Moment { kNone, kRinging, kAnswered, kOver, kListed };

// What the event says of the call's progress, or kNone for events that are not about calls.
bool IsCallEvent(const AmiMessage& event, Moment& moment) {
  const std::string_view name = event.Get("Event");
  moment = Moment::kNone;
  if (name == "Newchannel" || name == "NewCallerid") return true;
  if (name == "Newstate") {
    // 6 is Up; older systems give only the description.
    if (event.Get("ChannelState") == "6" || event.Get("ChannelStateDesc") == "Up") {
      moment = Moment::kAnswered;
    }
    return true;
  }
  if (name == "DialBegin" || (name == "Dial" && event.Get("SubEvent") == "Begin")) {
    moment = Moment::kRinging;
    return true;
  }
  if (name == "Hangup") {
    moment = Moment::kOver;
    return true;
  }
  // In progress when the system was asked; only with Linkedids can it tell a first channel.
  if (name == "CoreShowChannel" && !event.Get("Linkedid").empty()) {
    moment = Moment::kListed;
    return true;
  }
  return false;
}

// The states of a channel: 4 (Ring) a call coming in rings the system; 5 (Ringing) the other end
// rings a channel the system dialled.
bool StateIs(const AmiMessage& event, std::string_view number, std::string_view name) {
  return event.Get("ChannelState") == number || event.Get("ChannelStateDesc") == name;
}

}  // namespace

std::string PbxCallerDigits(std::string_view number) {
  while (!number.empty() && number.front() == ' ') number.remove_prefix(1);
  const bool international = number.starts_with('+');
  std::string digits = CallerDigits(number);
  if (international && !digits.empty()) digits.insert(0, "00");
  return digits.size() > kMaxNumberDigits ? std::string() : digits;
}

PbxCallTracker::PbxCallTracker(std::int32_t line, const PbxSettings& settings)
    : line_(line), settings_(settings) {
  settings_.secret.clear();  // not needed here
}

std::vector<PbxCall> PbxCallTracker::OnEvent(const AmiMessage& event) {
  if (listing_ && event.Get("Event") == "CoreShowChannelsComplete") return OnListingComplete();
  if (listing_ && event.Get("Event") == "CoreShowChannel") {
    // Listed, so not over, even where the listing cannot tell a first channel (Asterisk 11).
    if (Pending* listed = Find(event.Get("Uniqueid")); listed != nullptr) listed->unlisted = false;
  }
  Moment moment = Moment::kNone;
  if (!IsCallEvent(event, moment)) return {};
  const std::string_view unique = event.Get("Uniqueid");
  const std::string_view linked = event.Get("Linkedid");
  // A Dial without a caller is the system dialling out by itself (an Originate, a call-back).
  if (moment == Moment::kRinging && (linked.empty() || unique.empty())) {
    MarkDialled(event.Get("DestUniqueid"));
  }
  if (unique.empty() || (!linked.empty() && linked != unique)) return {};  // not a first channel
  const std::string key(unique);
  if (reported_.contains(key)) return {};

  Pending* call = Find(key);
  if (call == nullptr) call = &Track(key);
  const std::string_view context = event.Get("Context");
  const std::string_view exten = event.Get("Exten");
  if (call->channel.empty()) {
    call->channel = std::string(event.Get("Channel"));
    call->context = std::string(context);
  }
  // The context changes as the call runs through the dialplan; once seen inbound it stays so.
  if (IsInbound(context, event.Get("Channel"))) call->inbound = true;
  if (!exten.empty() && (call->exten.empty() || IsInboundContext(context))) {
    call->exten = std::string(exten);
  }
  std::string digits = PbxCallerDigits(event.Get("CallerIDNum"));
  if (!digits.empty()) call->digits = std::move(digits);
  if (!linked.empty()) call->linked = true;
  if (StateIs(event, "4", "Ring")) call->rang = true;
  // A call that came in and rang the system stays one from outside, whatever it shows later.
  if (StateIs(event, "5", "Ringing") && !call->rang) call->dialled = true;
  if (moment == Moment::kListed) call->unlisted = false;

  // Without a Linkedid, a channel's Newchannel does not tell whether it is a call's first one
  // or one it dialled (a trunk dialled out has an inbound context too): wait until it rings
  // others, is answered or ends, by when a Dial has marked the dialled ones.
  const bool known = !call->digits.empty() && call->linked && call->rang;
  std::vector<PbxCall> calls;
  if (call->inbound && !call->dialled && (known || moment != Moment::kNone)) {
    calls.push_back(Report(*call));
  } else if (moment == Moment::kOver) {
    Dropped(*call);
    Forget(key);
  }
  return calls;
}

void PbxCallTracker::Remembered(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    if (!reported_.contains(key)) Remember(key);
  }
}

void PbxCallTracker::OnListingBegun() {
  listing_ = true;
  for (Pending& call : pending_) call.unlisted = true;
}

// The calls from outside seen before the listing and not in it ended while the connection was
// away: reported as their hang-ups would have them.
std::vector<PbxCall> PbxCallTracker::OnListingComplete() {
  listing_ = false;
  std::vector<PbxCall> calls;
  for (const Pending& call : pending_) {
    if (call.unlisted && call.inbound && call.linked && !call.dialled) {
      calls.push_back({LineFor(call.exten), call.digits, call.key});
      Remember(call.key);
    }
  }
  std::erase_if(pending_, [](const Pending& call) { return call.unlisted; });
  return calls;
}

PbxCall PbxCallTracker::Report(const Pending& call) {
  PbxCall reported{LineFor(call.exten), call.digits, call.key};
  Remember(reported.key);
  Forget(reported.key);
  return reported;
}

void PbxCallTracker::Dropped(const Pending& call) {
  std::string text = "call " + call.key + " of " + call.channel + ": ";
  if (!call.inbound) {
    text += "not from outside (an internal or outgoing call): its context " + call.context +
            " is none of the inbound contexts";
    for (std::size_t i = 0; i < settings_.inbound_contexts.size(); ++i) {
      text += (i == 0 ? " " : ", ") + settings_.inbound_contexts[i];
    }
    if (!settings_.trunks.empty()) text += ", and the channel is no trunk's";
  } else {
    text += "dialled out by the telephone system itself";
  }
  dropped_.push_back(std::move(text));
}

void PbxCallTracker::MarkDialled(std::string_view unique) {
  if (unique.empty()) return;
  Pending* call = Find(unique);
  if (call == nullptr) call = &Track(std::string(unique));
  call->dialled = true;
}

PbxCallTracker::Pending* PbxCallTracker::Find(std::string_view key) {
  const auto found = std::find_if(pending_.begin(), pending_.end(),
                                  [key](const Pending& call) { return call.key == key; });
  return found == pending_.end() ? nullptr : &*found;
}

PbxCallTracker::Pending& PbxCallTracker::Track(std::string key) {
  if (pending_.size() >= kMaxPendingCalls) pending_.pop_front();
  pending_.push_back({std::move(key), false, false, false, false, false, {}, {}, {}, {}});
  return pending_.back();
}

bool PbxCallTracker::IsInbound(std::string_view context, std::string_view channel) const {
  if (IsInboundContext(context)) return true;
  return std::any_of(settings_.trunks.begin(), settings_.trunks.end(),
                     [channel](const std::string& trunk) { return channel.starts_with(trunk); });
}

bool PbxCallTracker::IsInboundContext(std::string_view context) const {
  if (context.empty()) return false;
  const std::vector<std::string>& contexts = settings_.inbound_contexts;
  return std::find(contexts.begin(), contexts.end(), context) != contexts.end();
}

std::int32_t PbxCallTracker::LineFor(std::string_view exten) const {
  for (const PbxSettings::DidLine& did : settings_.did_lines) {
    if (did.number == exten) return did.line;
  }
  return line_;
}

void PbxCallTracker::Remember(std::string key) {
  if (reported_order_.size() >= kRememberedCalls) {
    reported_.erase(reported_order_.front());
    reported_order_.pop_front();
  }
  reported_.insert(key);
  reported_order_.push_back(std::move(key));
}

void PbxCallTracker::Forget(std::string_view key) {
  std::erase_if(pending_, [key](const Pending& call) { return call.key == key; });
}

}  // namespace qelto::cidr
