#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qelto::cidr {

// What a device's thread waits with between its connections, and what makes its stop prompt.
// One per runner; the platform's links wait on it too.
class DeviceWaiter {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~DeviceWaiter() = default;
  // Asks the runner to stop: every wait on this waiter ends soon. Callable from any thread.
  virtual void Stop() = 0;
  virtual bool stopping() const = 0;
  // Waits until `until` (without one, until the stop); false when it ended by the stop.
  virtual bool PauseUntil(std::optional<TimePoint> until) = 0;
  virtual TimePoint Now() const = 0;
};

// One open connection to a device: a serial port, a socket. Closed when destroyed.
class DeviceLink {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  enum class Received { kBytes, kStopped, kLost };

  virtual ~DeviceLink() = default;
  // Waits for bytes at most until `until` (without one, as long as the link likes), or until
  // the stop. kBytes with what came, possibly nothing; kLost with `why` set.
  virtual Received Receive(std::optional<TimePoint> until, std::string& bytes,
                           std::string& why) = 0;
  // Writes all of `bytes` within the link's write timeout; false, with `why` set, when not.
  virtual bool Send(std::string_view bytes, std::string& why) = 0;
};

// The outcome of one attempt to open a transport.
struct OpenedLink {
  std::unique_ptr<DeviceLink> link;  // null when not opened
  std::string note;                  // for the raw data when opened: "opened COM5"
  std::string found;                 // for the log when the device was looked for: where it was
  std::string why;                   // when not opened: why; empty when stopping
  bool refused = false;              // never to be tried again while this runner runs
};

// How a device is reached, opened anew after every loss. Used by the runner's thread only.
class DeviceTransport {
 public:
  virtual ~DeviceTransport() = default;
  virtual OpenedLink Open() = 0;
};

}  // namespace qelto::cidr
