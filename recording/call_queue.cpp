#include "recording/call_queue.h"

#include <utility>

namespace qelto {

void LockedCallQueue::Append(QueuedCall call) {
  std::lock_guard guard(QueueLock);
  calls_.push_back(std::move(call));
}

void LockedCallQueue::PutBackFirst(QueuedCall call) {
  std::lock_guard guard(QueueLock);
  calls_.push_front(std::move(call));
}

std::optional<QueuedCall> LockedCallQueue::TakeFirst() {
  std::lock_guard guard(QueueLock);
  if (calls_.empty()) return std::nullopt;
  QueuedCall first = std::move(calls_.front());
  calls_.pop_front();
  return first;
}

std::size_t LockedCallQueue::Size() const {
  std::lock_guard guard(QueueLock);
  return calls_.size();
}

std::optional<std::uint32_t> LockedCallQueue::FirstQueuedTick() const {
  std::lock_guard guard(QueueLock);
  if (calls_.empty()) return std::nullopt;
  return calls_.front().queuedTick;
}

}  // namespace qelto
