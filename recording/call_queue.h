#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "recording/queued_call.h"

namespace qelto {

// Calls waiting to be written, in the order they were reported. The driver's thread appends,
// the user-interface thread takes from the front and puts back a call it could not write;
// `QueueLock` is held only for one such step, never while calling out.
class LockedCallQueue {
 public:
  void Append(QueuedCall call);
  void PutBackFirst(QueuedCall call);
  std::optional<QueuedCall> TakeFirst();
  std::size_t Size() const;
  // The queue tick of the call at the front, the one that has waited longest; none when empty.
  std::optional<std::uint32_t> FirstQueuedTick() const;

 private:
  mutable std::mutex QueueLock;
  std::deque<QueuedCall> calls_;
};

}  // namespace qelto
