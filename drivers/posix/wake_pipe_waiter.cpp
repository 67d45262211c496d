#include "drivers/posix/wake_pipe_waiter.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

namespace qelto::cidr {

WakePipeWaiter::WakePipeWaiter() {
  std::array<int, 2> pipe_fds{};
  if (::pipe2(pipe_fds.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  wake_read_.Reset(pipe_fds[0]);
  wake_write_.Reset(pipe_fds[1]);
}

void WakePipeWaiter::Stop() {
  stop_ = true;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_write_.get(), &byte, 1);
}

// The pipe stays readable once stopped, so every later poll on it ends at once.
bool WakePipeWaiter::PauseUntil(std::optional<TimePoint> until) {
  while (!stop_) {
    pollfd wake{wake_read_.get(), POLLIN, 0};
    const int timeout = PollTimeout(until);
    if (timeout == 0) return true;
    ::poll(&wake, 1, timeout);
  }
  return false;
}

int PollTimeout(std::optional<std::chrono::steady_clock::time_point> deadline) {
  if (!deadline) return -1;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now())
          .count();
  if (left <= 0) return 0;
  return left > 60'000 ? 60'000 : static_cast<int>(left);
}

}  // namespace qelto::cidr
