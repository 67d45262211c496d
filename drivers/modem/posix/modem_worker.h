#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drivers/driver_config.h"
#include "drivers/driver_events.h"
#include "drivers/driver_platform.h"
#include "drivers/modem/modem_device.h"
#include "drivers/posix/unique_fd.h"
#include "drivers/posix/worker_thread.h"

namespace qelto::sim {

// The thread that runs one caller-ID modem: it opens the port, and opens it again every
// kReopenInterval while that fails or after the modem was lost; it writes what the modem's
// ModemDevice asks for, reads what the modem says, keeps the raw data and reports every change.
class ModemWorker final : public ModemRunner {
 public:
  // Starts the thread; throws std::system_error when it or its wake pipe cannot be made.
  // `raw_log` (may be null) and `sink` must outlive the worker.
  ModemWorker(std::uint64_t generation, std::size_t modem, DeviceConfig config, RawLog* raw_log,
              ModemSink& sink);
  // Stops the thread, closing the port, and joins it.
  ~ModemWorker() override = default;
  ModemWorker(const ModemWorker&) = delete;
  ModemWorker& operator=(const ModemWorker&) = delete;

 private:
  using TimePoint = ModemDevice::TimePoint;

  void Run();
  // Opens the port once and serves it until it is lost or fails, or the worker stops.
  void OpenAndServe(ModemDevice& device);
  // Talks to the open port until it is lost, fails or the worker stops; returns why it ended.
  std::string Serve(int fd, ModemDevice& device);
  // Reports the step's events and writes what it asks for. False when the port is to be closed;
  // `why` then says why.
  bool Apply(const ModemStep& step, int fd, ModemDevice& device, std::string& why);
  // Reads what the port has; false, with `why` set, when it was lost.
  bool ReadPort(int fd, short revents, ModemDevice& device, std::string& why);
  void Report(const ModemDevice& device, std::vector<DriverEvent> events);
  void Raw(RawDirection direction, std::string_view bytes);

  std::uint64_t generation_;
  std::size_t modem_;
  DeviceConfig config_;
  RawLog* raw_log_;
  ModemSink& sink_;
  bool reported_connected_ = false;  // touched by the worker's thread only
  WorkerThread thread_;              // last: the thread ends before the rest goes
};

}  // namespace qelto::sim
