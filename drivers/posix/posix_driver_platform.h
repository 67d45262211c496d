#pragma once

#include "drivers/driver_platform.h"

namespace qelto::cidr {

// The driver on Linux: the control channel on a Unix socket, modems on serial ports through
// termios, telephone systems' manager interfaces over TCP, the raw data file with mode 0600.
class PosixDriverPlatform final : public DriverPlatform {
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
