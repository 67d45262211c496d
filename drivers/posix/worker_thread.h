#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "drivers/posix/unique_fd.h"

namespace qelto::sim {

// The thread of a device that has one (a modem, a telephone system), with what makes its stop
// prompt: a stop flag, and a wake pipe that turns readable at the stop, which the thread polls
// beside its device. The owner keeps it as its last member, so that the thread has ended before
// anything it uses goes.
class WorkerThread {
 public:
  // Makes the wake pipe; throws std::system_error when it cannot.
  WorkerThread();
  // Stops the thread and joins it.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs `body` on the thread; throws std::system_error when the thread cannot be made.
  void Start(std::function<void()> body);
  bool stopping() const { return stop_; }
  // Readable once the thread is to stop: poll it beside the device.
  int wake_fd() const { return wake_read_.get(); }
  // Waits `duration`, unless the thread is to stop; false when it is.
  bool Pause(std::chrono::milliseconds duration);

 private:
  std::atomic<bool> stop_{false};
  UniqueFd wake_read_;
  UniqueFd wake_write_;
  std::thread thread_;
};

// Milliseconds until `deadline` for poll(), rounded up so that the wait never ends early, and at
// most a minute; -1 (no end) without a deadline.
int PollTimeout(std::optional<std::chrono::steady_clock::time_point> deadline);

}  // namespace qelto::sim
