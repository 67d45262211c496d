#pragma once

#include <memory>

#include "drivers/device_session.h"
#include "drivers/pbx/pbx_device.h"
#include "drivers/pbx/reported_calls.h"

namespace qelto::sim {

// A telephone system's manager connection as its runner drives it: the PbxDevice, with the
// file of the calls it reported, which every call is kept in before the recorder hears of it.
class PbxSession final : public DeviceSession {
 public:
  PbxSession(std::int32_t line, PbxSettings settings, Md5HexFunction md5)
      : line_(line), device_(line, std::move(settings), md5) {}

  // Reads the calls reported by earlier runs.
  DeviceStep OnStart() override;
  DeviceStep OnOpenFailed(std::string_view reason) override {
    return Step(device_.OnConnectFailed(reason));
  }
  DeviceStep OnOpened(TimePoint now) override { return Step(device_.OnConnected(now)); }
  DeviceStep OnBytes(std::string_view bytes, TimePoint now) override {
    return Step(device_.OnBytes(bytes, now));
  }
  DeviceStep OnTime(TimePoint now) override { return Step(device_.OnTime(now)); }
  DeviceStep OnLost(std::string_view reason) override { return Step(device_.OnLost(reason)); }
  std::optional<TimePoint> Deadline() const override { return device_.Deadline(); }
  std::chrono::milliseconds RetryDelay() const override { return device_.RetryDelay(); }
  bool connected() const override { return device_.connected(); }

 private:
  DeviceStep Step(PbxStep step);

  std::int32_t line_;
  PbxDevice device_;
  std::unique_ptr<ReportedCallsFile> reported_calls_;
};

}  // namespace qelto::sim
