#include "drivers/modem/call_assembler.h"

#include <utility>

namespace qelto::cidr {

std::vector<std::string> CallAssembler::OnLine(const ModemLine& line, TimePoint now) {
  std::vector<std::string> reports = OnTime(now);
  switch (line.kind) {
    case ModemLineKind::kRing:
      Begin(now).rings++;
      call_->number_in_block = false;  // a RING ends the block
      OnRing(reports);
      break;
    case ModemLineKind::kNumber:
      OnNumber(NumberDigits(line.value), reports, now);
      break;
    case ModemLineKind::kDate:
    case ModemLineKind::kTime:
      // A block begins with its date and time: after a number they are the next caller's.
      Begin(now).block = true;
      call_->number_in_block = false;
      break;
    case ModemLineKind::kName:
    case ModemLineKind::kMessage:
      Begin(now).block = true;
      break;
    case ModemLineKind::kOk:
    case ModemLineKind::kError:
    case ModemLineKind::kOther:
      break;
  }
  return reports;
}

std::vector<std::string> CallAssembler::OnTime(TimePoint now) {
  if (!call_ || now - call_->last_heard < ring_timeout_) return {};
  return Flush();
}

std::vector<std::string> CallAssembler::Flush() {
  std::vector<std::string> reports;
  if (call_ && !call_->reported) reports.emplace_back();
  call_.reset();
  return reports;
}

std::optional<CallAssembler::TimePoint> CallAssembler::Deadline() const {
  if (!call_) return std::nullopt;
  return call_->last_heard + ring_timeout_;
}

void CallAssembler::OnRing(std::vector<std::string>& reports) {
  if (call_->reported) return;
  // A block without a number is over at the next RING; without a block, the second RING says
  // that none is coming.
  if (call_->block || call_->rings >= 2) Report({}, reports);
}

void CallAssembler::OnNumber(std::string digits, std::vector<std::string>& reports, TimePoint now) {
  if (call_ && call_->reported) {
    // DDN_NMBR and NMBR of one block are two forms of one caller's number: the first counts.
    if (*call_->reported == digits || call_->number_in_block) {
      dropped_.push_back("number " + (digits.empty() ? std::string("(none)") : digits) + ": " +
                         (*call_->reported == digits
                              ? "the caller-ID block of a call already reported, repeated"
                              : "the second number line of the block already reported"));
      call_->last_heard = now;
      call_->number_in_block = true;
      return;
    }
    call_.reset();  // another caller: a new call
  }
  Call& call = Begin(now);
  call.block = true;
  call.number_in_block = true;
  Report(std::move(digits), reports);
}

void CallAssembler::Report(std::string digits, std::vector<std::string>& reports) {
  call_->reported = digits;
  reports.push_back(std::move(digits));
}

CallAssembler::Call& CallAssembler::Begin(TimePoint now) {
  if (!call_) call_ = Call{0, false, false, std::nullopt, now};
  call_->last_heard = now;
  return *call_;
}

}  // namespace qelto::cidr
