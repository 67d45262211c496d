#include "drivers/win32/event_waiter.h"

#include <system_error>

namespace qelto::cidr {

UniqueHandle ManualResetEvent() {
  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateEvent");
  }
  return event;
}

DWORD WaitMilliseconds(std::optional<std::chrono::steady_clock::time_point> until, DWORD most) {
  if (!until) return most;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(*until - std::chrono::steady_clock::now())
          .count();
  if (left <= 0) return 0;
  return left > static_cast<long long>(most) ? most : static_cast<DWORD>(left);
}

EventWaiter::EventWaiter() : stop_(ManualResetEvent()) {}

bool EventWaiter::stopping() const {
  return WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0;
}

bool EventWaiter::PauseUntil(std::optional<TimePoint> until) {
  // In steps of at most a minute, so that a deadline far off is not taken as INFINITE.
  for (;;) {
    const DWORD wait = until ? WaitMilliseconds(until, 60'000) : INFINITE;
    if (WaitForSingleObject(stop_.get(), wait) != WAIT_TIMEOUT) return false;
    if (until && Now() >= *until) return true;
  }
}

}  // namespace qelto::cidr
