#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/device_session.h"
#include "drivers/driver_config.h"
#include "drivers/driver_events.h"
#include "drivers/pbx/ami_reader.h"
#include "drivers/pbx/md5.h"
#include "drivers/pbx/pbx_calls.h"

namespace qelto::cidr {

// A logged-in connection is asked for a Ping this often, and any request must be answered
// within kPbxAnswerTimeout, or the connection counts as lost.
inline constexpr std::chrono::seconds kPbxPingInterval{20};
inline constexpr std::chrono::seconds kPbxAnswerTimeout{10};
// Connecting again after a failure waits 1, 2, 4 ... up to this long; after a refused login,
// always kPbxRefusedRetry, so a wrong secret does not lock the user out on the server.
inline constexpr std::chrono::seconds kPbxMaxRetryDelay{30};
inline constexpr std::chrono::seconds kPbxRefusedRetry{60};

// Everything one telephone system's manager connection does, apart from the socket: the login
// (an MD5 challenge by default), the Pings that show it alive, the calls it reports (see
// PbxCallTracker) and the status events that tell the recorder and the shop how it fares. Pure;
// its owner does the I/O and passes the time in.
//
// Status events, each "SLine <n>: pbx ...":
//   "ready at HOST:PORT as USER" once logged in: the device counts as connected from then on;
//   "lost at HOST:PORT (REASON), reconnecting" when a logged-in connection went away;
//   "unavailable at HOST:PORT (REASON), retrying" when it could not connect or log in, once
//   per reason in a row, so a system that is switched off does not fill the log;
//   "login refused at HOST:PORT for user USER (MESSAGE), retrying every 60 s", likewise;
//   "cannot list the calls in progress at HOST:PORT (MESSAGE): ..." once, when the manager user
//   may not ask for them (CoreShowChannels needs write = reporting).
//
// At every login it asks for the calls in progress, so that a call that began while the
// connection was away (or the recorder was not running) is not lost.
class PbxDevice : public DeviceSession {
 public:
  PbxDevice(std::int32_t line, PbxSettings settings, Md5HexFunction md5);

  // The keys of the calls reported by earlier runs (oldest first), which are not reported again.
  void Remembered(const std::vector<std::string>& keys) { calls_.Remembered(keys); }

  // The file of the reported calls could not be used as it was: `problem` tells why.
  DeviceStep OnCallsFileProblem(std::string_view problem) const;

  DeviceStep OnOpenFailed(std::string_view reason) override;
  // The connection is made: the login begins (without waiting for a greeting).
  DeviceStep OnOpened(TimePoint now) override;
  // A step that closes holds the calls (and `remember`) of the messages before.
  DeviceStep OnBytes(std::string_view bytes, TimePoint now) override;
  DeviceStep OnTime(TimePoint now) override;
  DeviceStep OnLost(std::string_view reason) override;
  std::optional<TimePoint> Deadline() const override;
  std::chrono::milliseconds RetryDelay() const override;

  bool connected() const override { return state_ == State::kReady; }
  const std::string& address() const { return address_; }

 private:
  enum class State { kClosed, kChallenge, kLogin, kReady };

  void OnMessage(const AmiMessage& message, TimePoint now, DeviceStep& out);
  void OnResponse(const AmiMessage& message, TimePoint now, DeviceStep& out);
  void SendLogin(std::string_view challenge, TimePoint now, DeviceStep& out);
  void LoggedIn(TimePoint now, DeviceStep& out);
  void OnListingAnswer(const AmiMessage& message, bool success, DeviceStep& out);
  void Send(std::string_view action, const std::vector<std::pair<std::string, std::string>>& fields,
            DeviceStep& out) const;
  void Refused(std::string_view message, DeviceStep& out);
  // Ends the connection for `reason`, reporting it; `close` asks the owner to close it.
  void Drop(std::string_view reason, bool close, DeviceStep& out);
  void Problem(const std::string& text, DeviceStep& out);
  void Status(const std::string& text, DeviceStep& out) const;

  std::int32_t line_;
  PbxSettings settings_;
  Md5HexFunction md5_;
  std::string address_;  // printable "host:port", for status texts
  AmiReader reader_;
  PbxCallTracker calls_;
  State state_ = State::kClosed;
  std::optional<TimePoint> answer_due_;  // a request awaits its answer until then
  std::string awaited_;                  // that request's action, for the reason
  TimePoint next_ping_{};
  int failures_ = 0;  // in a row; reset at a login and once a Ping is answered
  bool refused_ = false;
  bool listing_refused_ = false;  // told once
  std::string last_problem_;
};

}  // namespace qelto::cidr
