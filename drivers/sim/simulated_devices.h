#pragma once

#include <array>

#include "drivers/sim/sim_command.h"

namespace qelto::cidr {

// The plug state of the simulated caller-ID devices, numbered from 1. All start connected.
class SimulatedDevices {
 public:
  // `count` is clamped to 1..kMaxDevices.
  explicit SimulatedDevices(int count);

  int count() const { return count_; }
  int ConnectedCount() const;
  // False for a device number outside 1..count().
  bool IsConnected(int device) const;
  // Returns false, changing nothing, when there is no such device.
  bool SetConnected(int device, bool connected);

 private:
  int count_;
  std::array<bool, kMaxDevices> connected_{};
};

}  // namespace qelto::cidr
