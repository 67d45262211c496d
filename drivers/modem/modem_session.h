#pragma once

#include "drivers/device_session.h"
#include "drivers/modem/modem_device.h"

namespace qelto::sim {

// A caller-ID modem as its runner drives it: the ModemDevice, reopened every kReopenInterval.
class ModemSession final : public DeviceSession {
 public:
  ModemSession(std::int32_t line, ModemSettings settings) : device_(line, std::move(settings)) {}

  DeviceStep OnOpenFailed(std::string_view reason) override {
    return Step(device_.OnOpenFailed(reason));
  }
  DeviceStep OnOpened(TimePoint now) override { return Step(device_.OnOpened(now)); }
  DeviceStep OnBytes(std::string_view bytes, TimePoint now) override {
    return Step(device_.OnBytes(bytes, now));
  }
  DeviceStep OnTime(TimePoint now) override { return Step(device_.OnTime(now)); }
  DeviceStep OnLost(std::string_view reason) override { return Step(device_.OnLost(reason)); }
  std::optional<TimePoint> Deadline() const override { return device_.Deadline(); }
  std::chrono::milliseconds RetryDelay() const override { return kReopenInterval; }
  bool connected() const override { return device_.connected(); }

 private:
  static DeviceStep Step(ModemStep step) {
    DeviceStep out{std::move(step.send), {}, std::move(step.events), step.close, {}};
    if (out.close) out.why = "the modem does not answer";
    return out;
  }

  ModemDevice device_;
};

}  // namespace qelto::sim
