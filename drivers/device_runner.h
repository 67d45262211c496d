#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "drivers/device_session.h"
#include "drivers/device_transport.h"
#include "drivers/driver_platform.h"

namespace qelto::cidr {

// The thread that runs one device of any kind over any transport: it opens the transport, and
// opens it again after the session's retry delay whenever that fails or the connection ends; it
// hands the session what the device sends and the time, writes what the session asks for, keeps
// the raw data and reports every change of the events or of the connected state to the sink.
// An exception caught on the thread (out of memory, a file that throws) closes the connection
// and is told, with its text, in the raw data and to the recorder, before the next attempt.
class DeviceRunner {
 public:
  struct Identity {
    std::uint64_t generation = 0;
    std::size_t device = 0;  // the number the sink knows the device by
    std::int32_t line = 0;   // for the raw data and the texts
  };

  // Starts the thread; throws std::system_error when it cannot be made. `raw_log` (may be null)
  // and `sink` must outlive the runner; `transport` may use `waiter`, which outlives it.
  DeviceRunner(Identity identity, std::unique_ptr<DeviceSession> session,
               std::unique_ptr<DeviceTransport> transport, std::unique_ptr<DeviceWaiter> waiter,
               RawLog* raw_log, DeviceSink& sink);
  // Stops the thread, closing the connection, and joins it.
  ~DeviceRunner();
  DeviceRunner(const DeviceRunner&) = delete;
  DeviceRunner& operator=(const DeviceRunner&) = delete;

 private:
  void Run();
  // Opens the transport once and serves it until it ends; false when it must not be opened
  // again (refused).
  bool OpenAndServe();
  // Talks to the open link until it is lost, closed or the runner stops; returns why it ended.
  std::string Serve(DeviceLink& link);
  // Reports the step's events and writes what it asks for; false when the link is to be
  // closed, `why` then saying why.
  bool Apply(const DeviceStep& step, DeviceLink* link, std::string& why);
  void Fault(const std::exception& error);
  void Report(std::vector<DriverEvent> events);
  void Raw(RawDirection direction, std::string_view bytes);

  const Identity identity_;
  const std::unique_ptr<DeviceWaiter> waiter_;
  const std::unique_ptr<DeviceSession> session_;
  const std::unique_ptr<DeviceTransport> transport_;
  RawLog* const raw_log_;
  DeviceSink& sink_;
  // The runner's thread only:
  bool reported_connected_ = false;
  bool link_open_ = false;
  std::string last_fault_;  // told once in a row
  std::string last_found_;  // where the device was last found, told when it changes
  std::thread thread_;      // last: the thread ends before the rest goes
};

// "SLine <n>: device fault (TEXT), retrying": what the recorder is told of an exception caught
// on a device's thread.
DriverEvent DeviceFaultEvent(std::int32_t line, std::string_view text);

}  // namespace qelto::cidr
