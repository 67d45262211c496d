#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/driver_config.h"
#include "drivers/driver_events.h"
#include "drivers/raw_record.h"

namespace qelto::cidr {

// What a control channel's thread calls out to. Both run on that thread.
class SessionHandler {
 public:
  virtual ~SessionHandler() = default;
  // The channel was woken by Wake(): work may be waiting for its thread.
  virtual void OnWake() = 0;
  // One line received from a control client; returns the reply lines to send back.
  virtual std::vector<std::string> OnLine(std::string_view line) = 0;
};

// The driver's own thread: it serves control clients at the channel's address (a Unix socket, a
// named pipe) and runs work handed to it with Wake(). Without an address it only runs the woken
// work. Clients are served one line at a time in arrival order; each line is answered before the
// next is read. A client that sends nothing for kIdleClientTimeout is closed, and while
// kMaxClients are connected new ones wait, so idle clients cannot lock the others out for long.
class ControlChannel {
 public:
  static constexpr std::chrono::seconds kIdleClientTimeout{5};
  static constexpr std::size_t kMaxClients = 16;
  static constexpr std::size_t kMaxLineBytes = 1024;

  // Stops and joins the thread. Must not run on the channel's own thread.
  virtual ~ControlChannel() = default;
  // Makes the thread call OnWake() soon. Callable from any thread.
  virtual void Wake() = 0;
  // Asks the thread to finish; it returns once the handler call in progress (if any) returns.
  virtual void RequestStop() = 0;
  // Gives the address up as soon as it can, so that a new channel can take it and no new client
  // reaches this one.
  virtual void ReleaseAddress() = 0;
  virtual bool IsChannelThread() const = 0;
};

// Where a device's thread reports. Called on that thread, never with a lock of the runner held.
class DeviceSink {
 public:
  virtual ~DeviceSink() = default;
  // `generation` is the one the runner was made with; `connected` is the device's state once
  // `events` (possibly none) have happened.
  virtual void OnDeviceReport(std::uint64_t generation, std::size_t device, bool connected,
                              std::vector<DriverEvent> events) = 0;
  // A telephone system's host stands for `addresses` (printable), before each connect. False
  // when the device must not connect: another [device] names the same system (the driver has
  // told the recorder), or the runner is out of date.
  virtual bool OnPbxResolved(std::uint64_t generation, std::size_t device,
                             std::vector<std::string> addresses) = 0;
};

class DeviceRunner;

// The raw data file the devices' bytes go to. Thread-safe; a failed write is dropped.
class RawLog {
 public:
  virtual ~RawLog() = default;
  virtual void Write(std::int32_t line, RawDirection direction, std::string_view bytes) = 0;
};

// What the driver needs from the operating system. One implementation per platform.
class DriverPlatform {
 public:
  virtual ~DriverPlatform() = default;
  // Starts the control thread serving the channel at `address`. When the address cannot be
  // taken, the thread runs without it and `problem` says why; throws std::system_error when
  // the thread itself cannot be made.
  virtual std::unique_ptr<ControlChannel> StartControlChannel(const std::string& address,
                                                              SessionHandler& handler,
                                                              std::string& problem) = 0;
  // The control channel's address, asked each time the control thread starts.
  virtual std::string ControlAddress() = 0;
  // Opens the raw data file for appending; null, with `problem` set, when it cannot.
  virtual std::unique_ptr<RawLog> OpenRawLog(const std::string& path, std::string& problem) = 0;
  // Starts the thread of device number `device` (a modem or a telephone system: the devices with
  // a thread of their own), or returns null where they cannot be run. Destroying the runner
  // stops its thread. `raw_log` (may be null) and `sink` must outlive it.
  virtual std::unique_ptr<DeviceRunner> StartDevice(std::uint64_t generation, std::size_t device,
                                                    const DeviceConfig& config, RawLog* raw_log,
                                                    DeviceSink& sink) = 0;
};

}  // namespace qelto::cidr
