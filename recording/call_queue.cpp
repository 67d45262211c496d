#include "recording/call_queue.h"

#include <utility>

namespace qelto {

void LockedCallQueue::Append(std::string line) {
  std::lock_guard guard(QueueLock);
  lines_.push_back(std::move(line));
}

std::optional<std::string> LockedCallQueue::TakeFirst() {
  std::lock_guard guard(QueueLock);
  if (lines_.empty()) return std::nullopt;
  std::string first = std::move(lines_.front());
  lines_.pop_front();
  return first;
}

std::size_t LockedCallQueue::Size() const {
  std::lock_guard guard(QueueLock);
  return lines_.size();
}

}  // namespace qelto
