#pragma once

#include <string>

#include "drivers/device_transport.h"
#include "drivers/posix/unique_fd.h"
#include "drivers/posix/wake_pipe_waiter.h"

namespace qelto::cidr {

// A non-blocking serial port or socket, polled beside its waiter's wake pipe.
class FdLink final : public DeviceLink {
 public:
  enum class Kind { kSerialPort, kSocket };

  FdLink(UniqueFd fd, Kind kind, const WakePipeWaiter& waiter)
      : fd_(std::move(fd)), kind_(kind), waiter_(waiter) {}

  Received Receive(std::optional<TimePoint> until, std::string& bytes, std::string& why) override;
  // Waits for room at most kWriteTimeout.
  bool Send(std::string_view bytes, std::string& why) override;

 private:
  Received Lost(std::string reason, std::string& why) const;

  UniqueFd fd_;
  Kind kind_;
  const WakePipeWaiter& waiter_;
};

}  // namespace qelto::cidr
