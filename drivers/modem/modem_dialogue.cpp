#include "drivers/modem/modem_dialogue.h"

#include <utility>

namespace qelto::cidr {

ModemDialogue::ModemDialogue(std::vector<std::string> init, std::vector<std::string> caller_id)
    : init_(std::move(init)), caller_id_(std::move(caller_id)) {}

ModemDialogue::Step ModemDialogue::Start(TimePoint now) {
  next_ = 0;
  accepted_.clear();
  refused_init_.clear();
  running_ = true;
  return SendCurrent(now);
}

ModemDialogue::Step ModemDialogue::OnLine(ModemLineKind kind, TimePoint now) {
  if (!running_ || (kind != ModemLineKind::kOk && kind != ModemLineKind::kError)) return {};
  return Advance(kind == ModemLineKind::kOk, now);
}

ModemDialogue::Step ModemDialogue::OnTime(TimePoint now) {
  if (!running_ || now < deadline_) return {};
  running_ = false;
  return {Step::Kind::kFailed, "no answer to " + Current()};
}

std::optional<ModemDialogue::TimePoint> ModemDialogue::Deadline() const {
  if (!running_) return std::nullopt;
  return deadline_;
}

ModemDialogue::Step ModemDialogue::SendCurrent(TimePoint now) {
  if (next_ >= init_.size() + caller_id_.size()) {
    running_ = false;
    return {Step::Kind::kReady, {}};
  }
  deadline_ = now + kAnswerTimeout;
  return {Step::Kind::kSend, Current()};
}

ModemDialogue::Step ModemDialogue::Advance(bool accepted, TimePoint now) {
  if (InInit()) {
    if (!accepted) refused_init_.push_back(Current());
    ++next_;
    return SendCurrent(now);
  }
  if (accepted) {
    accepted_ = Current();
    running_ = false;
    return {Step::Kind::kReady, {}};
  }
  ++next_;
  return SendCurrent(now);
}

const std::string& ModemDialogue::Current() const {
  return InInit() ? init_[next_] : caller_id_[next_ - init_.size()];
}

}  // namespace qelto::cidr
