#pragma once

#include "drivers/driver_platform.h"

namespace qelto::cidr {

// The driver on Windows: the control channel on a named pipe private to the user, caller-ID
// modems on COM ports, telephone systems' manager interfaces through Winsock, and the raw data
// file.
class Win32DriverPlatform final : public DriverPlatform {
 public:
  std::unique_ptr<ControlChannel> StartControlChannel(const std::string& address,
                                                      SessionHandler& handler,
                                                      std::string& problem) override;
  std::string ControlAddress() override;
  std::unique_ptr<RawLog> OpenRawLog(const std::string& path, std::string& problem) override;
  std::unique_ptr<DeviceRunner> StartDevice(std::uint64_t generation, std::size_t device,
                                            const DeviceConfig& config, RawLog* raw_log,
                                            DeviceSink& sink) override;
};

}  // namespace qelto::cidr
