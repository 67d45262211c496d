#include "recording/recent_calls.h"

#include "recording/call_statement.h"

namespace qelto {

std::uint64_t RecentCalls::Add(const QueuedCall& call, bool recovered) {
  RecentCall entry;
  entry.moment = call.moment;
  auto [line, number] = SplitQueueLine(call.line);
  entry.line = std::move(line);
  entry.number = std::move(number);
  entry.recovered = recovered;
  std::lock_guard<std::mutex> hold(lock_);
  entry.key = nextKey_++;
  if (calls_.size() == kCapacity) calls_.pop_front();
  calls_.push_back(std::move(entry));
  return calls_.back().key;
}

void RecentCalls::SetState(std::uint64_t key, RecentCallState state) {
  if (key == 0) return;
  std::lock_guard<std::mutex> hold(lock_);
  // Keys rise along the ring, and the call written is nearly always one of the oldest.
  if (calls_.empty() || key < calls_.front().key || key > calls_.back().key) return;
  calls_[static_cast<std::size_t>(key - calls_.front().key)].state = state;  // < kCapacity
}

std::vector<RecentCall> RecentCalls::NewestFirst() const {
  std::lock_guard<std::mutex> hold(lock_);
  return {calls_.rbegin(), calls_.rend()};
}

}  // namespace qelto
