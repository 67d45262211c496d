#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace qelto {

// Calls waiting to be written, in the order they were reported. The driver's thread appends,
// the user-interface thread takes from the front; `QueueLock` is held only for one append or
// one take, never while calling out.
class LockedCallQueue {
 public:
  void Append(std::string line);
  std::optional<std::string> TakeFirst();
  std::size_t Size() const;

 private:
  mutable std::mutex QueueLock;
  std::deque<std::string> lines_;
};

}  // namespace qelto
