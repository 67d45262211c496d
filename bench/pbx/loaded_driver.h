#pragma once

#include <string>

#include "device/driver_abi.h"

namespace qelto::bench {

// Our driver library loaded into this process as the recorder loads it, from a folder of its
// own that holds it, its POS_CIDR.conf for one telephone system on loopback and the files it
// keeps (it works in that folder, as in the recorder's). One per process.
class LoadedDriver {
 public:
  // Copies `library` into `folder`, configures it for user "bench" (secret "s") at
  // 127.0.0.1:`port`, changes into `folder` and loads it there; check problem().
  LoadedDriver(const std::string& library, const std::string& folder, int port);
  ~LoadedDriver();
  LoadedDriver(const LoadedDriver&) = delete;
  LoadedDriver& operator=(const LoadedDriver&) = delete;

  const std::string& problem() const { return problem_; }
  // Installs the event callback (its first events tell how the devices are); withdrawn when
  // this is destroyed.
  void Register(CIDR_EventCallback callback);

 private:
  void* library_ = nullptr;
  CIDR_RegisterEventFunction register_ = nullptr;
  std::string problem_;
};

}  // namespace qelto::bench
