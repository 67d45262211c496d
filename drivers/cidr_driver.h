#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/driver_abi.h"
#include "drivers/device_roster.h"
#include "drivers/driver_events.h"
#include "drivers/driver_platform.h"

namespace qelto::cidr {

// The caller-ID driver behind the exported CIDR_* functions: the simulated devices, driven
// through the control channel, and the caller-ID modems of the configuration file, each run by a
// thread of its own from registration until withdrawal.
//
// Events reach the callback only from the driver's own control thread (its ControlChannel), never
// from a caller of RegisterEvent nor from a modem's thread, which hands its events over. The
// threads, the control channel and the files come from the DriverPlatform. No lock
// of the driver is held while the callback runs, so the callback may call Info() and
// RegisterEvent() itself; Info() never waits for a modem.
class CidrDriver final : private SessionHandler, private DeviceSink {
 public:
  // `raw_log_path`, when not empty, names the raw data file the modems' bytes go to; it is
  // opened at the first registration.
  CidrDriver(DeviceRoster roster, std::unique_ptr<DriverPlatform> platform,
             std::string raw_log_path);
  // Withdraws the callback; the threads are joined.
  ~CidrDriver() override;
  CidrDriver(const CidrDriver&) = delete;
  CidrDriver& operator=(const CidrDriver&) = delete;

  // With a callback: installs it (replacing any earlier one), starts the control thread and the
  // modems' threads if they are not running and queues the start status event. Returns 0, or -1
  // when the control channel's address could not be taken; the threads run and the start event
  // (telling why) is delivered anyway, since the recorder has no other way to learn of it.
  // With null: withdraws. Once it returns no callback runs and none will, except that when it
  // is called from inside the callback, that callback runs to its end; the channel's address is
  // given up and the modems' ports are closed.
  std::int32_t RegisterEvent(CIDR_EventCallback callback);

  // The information text, NUL-terminated UTF-16, in a buffer of the calling thread that stays
  // valid until that thread calls Info() again.
  const char16_t* Info();

 private:
  using SessionList = std::vector<std::unique_ptr<ControlChannel>>;
  using RunnerList = std::vector<std::unique_ptr<DeviceRunner>>;

  std::int32_t Install(CIDR_EventCallback callback);
  std::int32_t Withdraw();
  void StartDevicesLocked();
  void OnWake() override;
  std::vector<std::string> OnLine(std::string_view line) override;
  void OnDeviceReport(std::uint64_t generation, std::size_t device, bool connected,
                      std::vector<DriverEvent> events) override;
  bool OnPbxResolved(std::uint64_t generation, std::size_t device,
                     std::vector<std::string> addresses) override;
  // The callback to use for an event on this thread, or null. Requires `mutex_`.
  CIDR_EventCallback CallbackForThisThreadLocked() const;
  // Whether this thread is one of the driver's own, current or retired. Requires `mutex_`.
  bool OnDriverThreadLocked() const;

  // Joins the sessions that withdrew on their own thread, unless this is one of them.
  void JoinRetiredSessions();

  const std::unique_ptr<DriverPlatform> platform_;
  const std::string raw_log_path_;
  std::mutex mutex_;
  DeviceRoster roster_;
  CIDR_EventCallback callback_ = nullptr;
  std::string channel_problem_;  // why the current session has no address, or empty
  std::deque<DriverEvent> pending_;
  std::unique_ptr<ControlChannel> session_;
  // Sessions withdrawn from their own thread, which cannot join itself: joined by the next
  // RegisterEvent made on another thread, or by the destructor.
  SessionList retired_;
  std::unique_ptr<RawLog> raw_log_;  // opened once, kept to the end
  bool raw_log_tried_ = false;
  RunnerList runners_;
  // Reports of runners from before the last withdrawal carry an older generation and are
  // dropped, so a withdrawn modem cannot count as connected.
  std::uint64_t generation_ = 0;
};

}  // namespace qelto::cidr
