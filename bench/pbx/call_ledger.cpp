#include "call_ledger.h"

#include <charconv>
#include <cstdio>

namespace qelto::bench {
namespace {

constexpr std::string_view kPrefix = "09";
constexpr std::size_t kDigits = 9;

}  // namespace

CallLedger::CallLedger(std::size_t calls) : expected_(calls, Expected::kNone), rows_(calls, 0) {}

std::string CallLedger::Number(std::size_t index) {
  char digits[kDigits + 1];
  std::snprintf(digits, sizeof(digits), "%09zu", index);
  return std::string(kPrefix) + digits;
}

void CallLedger::Sent(std::size_t index, Expected expected) {
  expected_.at(index) = expected;
  if (expected == Expected::kRow) ++due_;
  if (expected == Expected::kWithheld) {
    ++withheld_due_;
    ++due_;
  }
}

std::optional<std::size_t> CallLedger::IndexOf(std::string_view number) {
  std::size_t index = 0;
  const char* end = number.data() + number.size();
  if (number.size() != kPrefix.size() + kDigits || !number.starts_with(kPrefix) ||
      std::from_chars(number.data() + kPrefix.size(), end, index).ptr != end) {
    return std::nullopt;
  }
  return index;
}

void CallLedger::Heard(std::string_view number) {
  ++heard_;
  // The driver reports a withheld number without digits; the recorder writes it as 0.
  if (number.empty() || number == "0") {
    ++withheld_heard_;
    return;
  }
  const std::optional<std::size_t> index = IndexOf(number);
  if (!index || *index >= rows_.size()) {
    if (foreign_++ == 0) first_foreign_ = std::string(number);
    return;
  }
  if (rows_[*index] < 255) ++rows_[*index];
}

std::string CallLedger::Problems() const {
  std::size_t lost = 0, doubled = 0, unwanted = 0;
  std::string first;
  for (std::size_t i = 0; i < expected_.size(); ++i) {
    const std::size_t want = expected_[i] == Expected::kRow ? 1 : 0;
    if (rows_[i] == want) continue;
    if (rows_[i] < want) ++lost;
    if (want == 1 && rows_[i] > 1) ++doubled;
    if (want == 0 && rows_[i] > 0) ++unwanted;
    if (first.empty()) {
      first = "call " + std::to_string(i) + " (" + Number(i) + ") left " +
              std::to_string(rows_[i]) + ", expected " + std::to_string(want);
    }
  }
  std::string text;
  const auto add = [&text](std::size_t count, const std::string& what) {
    if (count > 0) text += std::to_string(count) + " " + what + "\n";
  };
  add(lost, "calls from outside lost");
  add(doubled, "calls from outside written twice or more");
  add(unwanted, "internal or outgoing calls recorded");
  add(foreign_, "rows of no call sent, the first " + first_foreign_);
  if (withheld_heard_ != withheld_due_) {
    text += "withheld calls: " + std::to_string(withheld_heard_) + " rows for " +
            std::to_string(withheld_due_) + " calls\n";
  }
  if (!first.empty() && !text.empty()) text += "the first: " + first + "\n";
  return text;
}

}  // namespace qelto::bench
