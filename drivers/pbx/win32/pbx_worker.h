#pragma once

#include <winsock2.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/win32/unique_handle.h"
#include "drivers/driver_config.h"
#include "drivers/driver_events.h"
#include "drivers/driver_platform.h"
#include "drivers/pbx/host_lookup.h"
#include "drivers/pbx/pbx_device.h"
#include "drivers/pbx/reported_calls.h"

namespace qelto::sim {

// The thread that runs one telephone system's manager connection on Windows, through Winsock:
// it connects, and connects again after the PbxDevice's retry delay whenever that fails or the
// connection ends; it writes what the device asks for, reads what the server says and reports
// every change through the modems' sink, keeping the raw data (the secret masked). Stopping sets an
// event the thread waits on beside its socket's, so a stop is prompt; a host name is looked up
// on a thread of its own, which a stop does not wait for.
class PbxWorker final : public ModemRunner {
 public:
  // Starts the thread; throws std::system_error when it, its events or Winsock cannot be had.
  // `raw_log` (may be null) and `sink` must outlive the worker. The host is looked up with
  // `resolver` on threads made with `start` (the system's when null), so that a name server
  // that does not answer never holds a stop.
  PbxWorker(std::uint64_t generation, std::size_t device, DeviceConfig config, RawLog* raw_log,
            ModemSink& sink, std::shared_ptr<HostResolver> resolver = nullptr,
            DetachedStart start = nullptr);
  // Stops the thread, closing the connection, and joins it.
  ~PbxWorker() override;
  PbxWorker(const PbxWorker&) = delete;
  PbxWorker& operator=(const PbxWorker&) = delete;

 private:
  void Run();
  void ConnectAndServe(PbxDevice& device);
  // Connects `sock` (already selected on socket_event_); "" when made, else why not; "stop"
  // when the worker is stopping.
  std::string Connect(SOCKET sock, const sockaddr* address, int length);
  std::string Serve(SOCKET sock, PbxDevice& device);
  bool Apply(const PbxStep& step, SOCKET sock, PbxDevice& device, std::string& why);
  bool ReadSocket(SOCKET sock, PbxDevice& device, std::string& why);
  void Report(const PbxDevice& device, std::vector<DriverEvent> events);
  // Reads the keys of the calls reported by earlier runs into `device`.
  void OpenReportedCalls(PbxDevice& device);
  void Raw(RawDirection direction, std::string_view bytes);
  bool Stopping() const;

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
  bool winsock_ = false;
  UniqueHandle stop_event_;
  UniqueHandle socket_event_;
  std::thread thread_;
};

}  // namespace qelto::sim
