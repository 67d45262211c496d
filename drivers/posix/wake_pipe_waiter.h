#pragma once

#include <atomic>
#include <chrono>
#include <optional>

#include "drivers/device_transport.h"
#include "drivers/posix/unique_fd.h"

namespace qelto::cidr {

// A device thread's waiter on Linux: a stop flag, and a wake pipe that turns readable at the
// stop, which the thread's links poll beside their device.
class WakePipeWaiter final : public DeviceWaiter {
 public:
  // Makes the wake pipe; throws std::system_error when it cannot.
  WakePipeWaiter();

  void Stop() override;
  bool stopping() const override { return stop_; }
  bool PauseUntil(std::optional<TimePoint> until) override;
  TimePoint Now() const override { return std::chrono::steady_clock::now(); }
  // Readable once the thread is to stop.
  int wake_fd() const { return wake_read_.get(); }

 private:
  std::atomic<bool> stop_{false};
  UniqueFd wake_read_;
  UniqueFd wake_write_;
};

// Milliseconds until `deadline` for poll(), rounded up so that the wait never ends early, and at
// most a minute; -1 (no end) without a deadline.
int PollTimeout(std::optional<std::chrono::steady_clock::time_point> deadline);

}  // namespace qelto::cidr
