#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drivers/driver_config.h"
#include "drivers/driver_events.h"
#include "drivers/driver_platform.h"
#include "drivers/pbx/host_lookup.h"
#include "drivers/pbx/pbx_device.h"
#include "drivers/pbx/reported_calls.h"
#include "drivers/posix/unique_fd.h"
#include "drivers/posix/worker_thread.h"

namespace qelto::sim {

// The thread that runs one telephone system's manager connection: it connects, and connects
// again after the PbxDevice's retry delay whenever that fails or the connection ends; it writes
// what the device asks for, reads what the server says, keeps the raw data (the secret masked)
// and reports every change. Reports through the same sink as the modems' threads.
class PbxWorker final : public ModemRunner {
 public:
  // Starts the thread; throws std::system_error when it or its wake pipe cannot be made.
  // `raw_log` (may be null) and `sink` must outlive the worker. The host is looked up with
  // `resolver` on threads made with `start` (the system's when null), so that a name server
  // that does not answer never holds a stop.
  PbxWorker(std::uint64_t generation, std::size_t device, DeviceConfig config, RawLog* raw_log,
            ModemSink& sink, std::shared_ptr<HostResolver> resolver = nullptr,
            DetachedStart start = nullptr);
  // Stops the thread, closing the connection, and joins it.
  ~PbxWorker() override = default;
  PbxWorker(const PbxWorker&) = delete;
  PbxWorker& operator=(const PbxWorker&) = delete;

 private:
  void Run();
  void ConnectAndServe(PbxDevice& device);
  // Talks to the server until the connection ends or the worker stops; returns why it ended.
  std::string Serve(int fd, PbxDevice& device);
  // Reports the step's events and writes what it asks for; false when the connection is to be
  // dropped, `why` then saying why.
  bool Apply(const PbxStep& step, int fd, PbxDevice& device, std::string& why);
  bool ReadSocket(int fd, short revents, PbxDevice& device, std::string& why);
  void Report(const PbxDevice& device, std::vector<DriverEvent> events);
  // Reads the keys of the calls reported by earlier runs into `device`.
  void OpenReportedCalls(PbxDevice& device);
  void Raw(RawDirection direction, std::string_view bytes);

  std::uint64_t generation_;
  std::size_t device_;
  DeviceConfig config_;
  RawLog* raw_log_;
  ModemSink& sink_;
  std::shared_ptr<HostResolver> resolver_;
  DetachedStart start_;
  bool reported_connected_ = false;  // touched by the worker's thread only
  bool refused_ = false;             // another [device] names this system: never connect
  std::unique_ptr<ReportedCallsFile> reported_calls_;  // the worker's thread only
  WorkerThread thread_;                                // last: the thread ends before the rest goes
};

}  // namespace qelto::sim
