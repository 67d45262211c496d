#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/driver_events.h"

namespace qelto::cidr {

// What a device's runner is to do after one input to its session.
struct DeviceStep {
  std::string send;                 // bytes to write to the connection
  std::string send_shown;           // what the raw data shows of them, when not `send` itself
  std::vector<DriverEvent> events;  // for the recorder, in order
  // The keys of the calls among `events`, for a device that keeps them (see PbxSession).
  std::vector<std::string> remember;
  std::vector<std::string> dropped;  // what was passed over, each with why (for the replay)
  bool close = false;  // close the connection, writing nothing more; open it again later
  std::string why;     // when closing: why, for the raw data
};

// One device's logic over bytes, as its runner drives it: it is told what happens to its
// connection and answers with steps. It does no I/O of its own but for what OnStart may need
// (a file of its own), and is used by the runner's thread only.
class DeviceSession {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~DeviceSession() = default;
  // Once, on the runner's thread, before the first open.
  virtual DeviceStep OnStart() { return {}; }
  virtual DeviceStep OnOpenFailed(std::string_view reason) = 0;
  virtual DeviceStep OnOpened(TimePoint now) = 0;
  virtual DeviceStep OnBytes(std::string_view bytes, TimePoint now) = 0;
  virtual DeviceStep OnTime(TimePoint now) = 0;
  // The connection hung up or failed; the runner closes it.
  virtual DeviceStep OnLost(std::string_view reason) = 0;
  // When OnTime has something to do, or nullopt.
  virtual std::optional<TimePoint> Deadline() const = 0;
  // How long the connection stays closed after it failed or ended, before it is opened again.
  virtual std::chrono::milliseconds RetryDelay() const = 0;
  // Whether the recorder is to count the device as connected.
  virtual bool connected() const = 0;
};

}  // namespace qelto::cidr
