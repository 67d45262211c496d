#include "drivers/sim/simulated_devices.h"

#include <algorithm>

namespace qelto::cidr {

SimulatedDevices::SimulatedDevices(int count) : count_(std::clamp(count, 1, kMaxDevices)) {
  std::fill_n(connected_.begin(), count_, true);
}

int SimulatedDevices::ConnectedCount() const {
  return static_cast<int>(std::count(connected_.begin(), connected_.begin() + count_, true));
}

bool SimulatedDevices::IsConnected(int device) const {
  return device >= 1 && device <= count_ && connected_[device - 1];
}

bool SimulatedDevices::SetConnected(int device, bool connected) {
  if (device < 1 || device > count_) return false;
  connected_[device - 1] = connected;
  return true;
}

}  // namespace qelto::cidr
