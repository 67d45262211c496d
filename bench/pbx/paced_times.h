#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string_view>
#include <vector>

#include "call_ledger.h"

namespace qelto::bench {

// The time from each paced call's send to the moment its row (or call event) was seen, for the
// calls [first, first + count) whose caller has a number.
class PacedTimes {
 public:
  using Clock = std::chrono::steady_clock;

  void Begin(std::size_t first, std::size_t count) {
    first_ = first;
    sent_.assign(count, {});
    milliseconds_.clear();
    milliseconds_.reserve(count);
  }
  void Sent(std::size_t index, Clock::time_point when) {
    if (index >= first_ && index - first_ < sent_.size()) sent_[index - first_] = when;
  }
  void Heard(std::string_view number, Clock::time_point when) {
    const std::optional<std::size_t> index = CallLedger::IndexOf(number);
    if (!index || *index < first_ || *index - first_ >= sent_.size()) return;
    milliseconds_.push_back(
        std::chrono::duration<double, std::milli>(when - sent_[*index - first_]).count());
  }
  // Sorted, shortest first.
  std::vector<double> Sorted() const {
    std::vector<double> sorted = milliseconds_;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }

 private:
  std::size_t first_ = 0;
  std::vector<Clock::time_point> sent_;  // none before Begin: nothing is timed
  std::vector<double> milliseconds_;
};

}  // namespace qelto::bench
