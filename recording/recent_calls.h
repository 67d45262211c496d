#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "common/clock.h"
#include "recording/queued_call.h"

namespace qelto {

// Where a call stands on its way to the database.
enum class RecentCallState { kWaiting, kWritten, kSetAside };

// One call as the status window lists it.
struct RecentCall {
  std::uint64_t key = 0;  // its number in this ring, 1 and up
  LocalDateTime moment;   // when it arrived: the moment its row is stamped with
  std::string line;       // the telephone line, as in the queue line
  std::string number;     // the caller's number, as in the queue line
  RecentCallState state = RecentCallState::kWaiting;
  bool recovered = false;  // left in the call journal by an earlier run and queued again at start
};

// The latest calls, for the status window: a bounded ring fed where the calls pass anyway (queued,
// recovered at start, written, set aside), so that showing them never reads the journal or the
// database. Every member may be called from any thread; `lock_` is held only to copy one entry in
// or out.
class RecentCalls {
 public:
  static constexpr std::size_t kCapacity = 50;

  // Adds `call` as waiting, dropping the oldest entry once the ring is full, and returns the key
  // under which its later states are reported (kept in `QueuedCall::recentKey`).
  std::uint64_t Add(const QueuedCall& call, bool recovered);
  // A call that has left the ring already, or key 0, is ignored.
  void SetState(std::uint64_t key, RecentCallState state);
  // Newest first.
  std::vector<RecentCall> NewestFirst() const;

 private:
  mutable std::mutex lock_;
  std::deque<RecentCall> calls_;  // oldest first
  std::uint64_t nextKey_ = 1;
};

}  // namespace qelto
