#pragma once

#include <windows.h>

#include <chrono>
#include <optional>

#include "common/win32/unique_handle.h"
#include "drivers/device_transport.h"

namespace qelto::cidr {

// A device thread's waiter on Windows: a manual-reset event set at the stop, which the thread's
// links wait on beside their device.
class EventWaiter final : public DeviceWaiter {
 public:
  // Throws std::system_error when the event cannot be made.
  EventWaiter();

  void Stop() override { SetEvent(stop_.get()); }
  bool stopping() const override;
  bool PauseUntil(std::optional<TimePoint> until) override;
  TimePoint Now() const override { return std::chrono::steady_clock::now(); }
  HANDLE stop_event() const { return stop_.get(); }

 private:
  UniqueHandle stop_;
};

// A manual-reset event, not set; throws std::system_error when it cannot be made.
UniqueHandle ManualResetEvent();

// Milliseconds until `until` for a wait, rounded up, and at most `most`; `most` without one.
DWORD WaitMilliseconds(std::optional<std::chrono::steady_clock::time_point> until, DWORD most);

}  // namespace qelto::cidr
