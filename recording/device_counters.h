#pragma once

#include <atomic>
#include <cstdint>

namespace qelto {

// The caller-ID devices as the driver's status events report them. Written on the driver's
// thread and read by the status timer without a lock: each is one 32-bit word, read and written
// whole.
struct DeviceCounters {
  std::atomic<std::int32_t> DeviceCount{0};      // connected devices at the last status event
  std::atomic<std::int32_t> MaxDeviceCount{0};   // the highest count seen since start; never lower
  std::atomic<std::uint32_t> LastDeviceTick{0};  // last status event, or end of a device alert

  // Raises MaxDeviceCount to `count` if that is higher; safe against several reporting threads.
  void RaiseMaxDeviceCount(std::int32_t count) {
    std::int32_t seen = MaxDeviceCount.load();
    while (count > seen && !MaxDeviceCount.compare_exchange_weak(seen, count)) {
    }
  }
};

}  // namespace qelto
