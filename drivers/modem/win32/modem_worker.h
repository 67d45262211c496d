#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/win32/unique_handle.h"
#include "drivers/driver_config.h"
#include "drivers/driver_events.h"
#include "drivers/driver_platform.h"
#include "drivers/modem/modem_device.h"

namespace qelto::sim {

// The thread that runs one caller-ID modem on a COM port: it opens the port, and opens it again
// every kReopenInterval while that fails or after the modem was lost (a USB modem unplugged);
// it writes what the modem's ModemDevice asks for, reads what the modem says, keeps the raw data
// and reports every change. Stopping sets an event the thread waits on between its reads, so a
// stop is prompt.
class ModemWorker final : public ModemRunner {
 public:
  // Starts the thread; throws std::system_error when it or its events cannot be made.
  // `raw_log` (may be null) and `sink` must outlive the worker.
  ModemWorker(std::uint64_t generation, std::size_t modem, DeviceConfig config, RawLog* raw_log,
              ModemSink& sink);
  // Stops the thread, closing the port, and joins it.
  ~ModemWorker() override;
  ModemWorker(const ModemWorker&) = delete;
  ModemWorker& operator=(const ModemWorker&) = delete;

 private:
  void Run();
  void OpenAndServe(ModemDevice& device);
  // Talks to the open port until it is lost, fails or the worker stops; returns why it ended.
  std::string Serve(HANDLE port, ModemDevice& device);
  // Reports the step's events and writes what it asks for. False when the port is to be closed;
  // `why` then says why.
  bool Apply(const ModemStep& step, HANDLE port, ModemDevice& device, std::string& why);
  // Reports the modem lost for `reason`; returns the reason.
  std::string Lost(ModemDevice& device, std::string reason);
  void Report(const ModemDevice& device, std::vector<DriverEvent> events);
  void Raw(RawDirection direction, std::string_view bytes);

  std::uint64_t generation_;
  std::size_t modem_;
  DeviceConfig config_;
  RawLog* raw_log_;
  ModemSink& sink_;
  bool reported_connected_ = false;  // touched by the worker's thread only
  UniqueHandle stop_event_;
  UniqueHandle read_event_;
  UniqueHandle write_event_;
  std::thread thread_;
};

}  // namespace qelto::sim
