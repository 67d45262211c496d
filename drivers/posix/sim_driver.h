#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/driver_abi.h"
#include "drivers/driver_events.h"
#include "drivers/posix/control_session.h"
#include "drivers/simulated_devices.h"

namespace qelto::sim {

// The simulated caller-ID driver behind the exported CIDR_* functions.
//
// Events reach the callback only from the driver's own thread (a ControlSession), never from a
// caller of RegisterEvent. No lock of the driver is held while the callback runs, so the
// callback may call Info() and RegisterEvent() itself.
class SimDriver final : private SessionHandler {
 public:
  // `socket_path` is asked each time the control thread starts.
  SimDriver(int device_count, std::function<std::string()> socket_path);
  // Withdraws the callback; the thread is joined.
  ~SimDriver() override;
  SimDriver(const SimDriver&) = delete;
  SimDriver& operator=(const SimDriver&) = delete;

  // With a callback: installs it (replacing any earlier one), starts the control thread if it
  // is not running and queues the start status event. Returns 0, or -1 when the control socket
  // could not be opened; the thread runs and the start event (telling why) is delivered anyway,
  // since the recorder has no other way to learn of it.
  // With null: withdraws. Once it returns no callback runs and none will, except that when it
  // is called from inside the callback, that callback runs to its end; the socket file is gone.
  std::int32_t RegisterEvent(CIDR_EventCallback callback);

  // The information text, NUL-terminated UTF-16, in a buffer of the calling thread that stays
  // valid until that thread calls Info() again.
  const char16_t* Info();

 private:
  using SessionList = std::vector<std::unique_ptr<ControlSession>>;

  std::int32_t Install(CIDR_EventCallback callback);
  std::int32_t Withdraw();
  void OnWake() override;
  std::vector<std::string> OnLine(std::string_view line) override;
  // The callback to use for an event on this thread, or null. Requires `mutex_`.
  CIDR_EventCallback CallbackForThisThreadLocked() const;
  // Whether this thread is one of the driver's own, current or retired. Requires `mutex_`.
  bool OnDriverThreadLocked() const;

  std::function<std::string()> socket_path_;
  std::mutex mutex_;
  SimulatedDevices devices_;
  CIDR_EventCallback callback_ = nullptr;
  std::string socket_problem_;  // why the current session has no socket, or empty
  std::deque<DriverEvent> pending_;
  std::unique_ptr<ControlSession> session_;
  // Sessions withdrawn from their own thread, which cannot join itself: joined by the next
  // RegisterEvent made on another thread, or by the destructor.
  SessionList retired_;
};

}  // namespace qelto::sim
