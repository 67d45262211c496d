#include "drivers/posix/worker_thread.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

namespace qelto::sim {

WorkerThread::WorkerThread() {
  std::array<int, 2> pipe_fds{};
  if (::pipe2(pipe_fds.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  wake_read_.Reset(pipe_fds[0]);
  wake_write_.Reset(pipe_fds[1]);
}

WorkerThread::~WorkerThread() {
  stop_ = true;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_write_.get(), &byte, 1);
  if (thread_.joinable()) thread_.join();
}

void WorkerThread::Start(std::function<void()> body) {
  thread_ = std::thread(std::move(body));
}

bool WorkerThread::Pause(std::chrono::milliseconds duration) {
  const auto until = std::chrono::steady_clock::now() + duration;
  while (!stop_) {
    pollfd wake{wake_read_.get(), POLLIN, 0};
    const int timeout = PollTimeout(until);
    if (timeout == 0) return true;
    if (::poll(&wake, 1, timeout) > 0) {
      std::array<char, 64> sink{};
      while (::read(wake_read_.get(), sink.data(), sink.size()) > 0) {
      }
    }
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

}  // namespace qelto::sim
