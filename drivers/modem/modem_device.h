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
#include "drivers/modem/call_assembler.h"
#include "drivers/modem/modem_dialogue.h"
#include "drivers/modem/modem_line.h"

namespace qelto::cidr {

// How long a modem port stays closed after it failed or was lost, before it is opened again.
inline constexpr std::chrono::seconds kReopenInterval{3};
// How long a modem checked after a quiet spell may take to answer AT.
inline constexpr std::chrono::seconds kProbeTimeout{2};

// Everything one caller-ID modem does, apart from the port itself: the initialisation
// dialogue, the calls it reports and the status events that tell the recorder (and, through its
// log, the installer) how the modem fares. Pure; its owner does the I/O and passes the time in.
//
// Status events, each "SLine <n>: modem ...":
//   "ready at PORT, caller ID on (COMMAND)", or "..., but it refused C1 and C2: only rings are
//   reported", when the dialogue succeeded: the device counts as connected from then on;
//   "lost at PORT (REASON)" when a connected modem went away;
//   "unavailable at PORT (REASON), retrying every 3 s" when it could not be opened or did not
//   answer, once per reason in a row, so a modem left unplugged does not fill the log.
//
// A modem can go deaf: its port stays open, but it reports no call until it is reset. So once a
// connected modem has said nothing for its quiet spell, while no call is in progress, it is sent
// AT and must answer OK within kProbeTimeout. An answer is not logged (the raw data shows it).
// Without one, the device tries, each step with its status event:
//   "did not answer AT within 2 s; initialising it again": the dialogue from the top;
//   "did not answer when initialised again (REASON); reopening PORT": the port is closed and
//   opened again, and the dialogue runs once more;
//   "lost at PORT (REASON)" when that fails too: from then on as for a modem unplugged.
// The modem counts as connected until it is reported lost.
class ModemDevice final : public DeviceSession {
 public:
  ModemDevice(std::int32_t line, ModemSettings settings);

  DeviceStep OnOpenFailed(std::string_view reason) override;
  // The port was opened (and emptied): the dialogue begins.
  DeviceStep OnOpened(TimePoint now) override;
  DeviceStep OnBytes(std::string_view bytes, TimePoint now) override;
  DeviceStep OnTime(TimePoint now) override;
  DeviceStep OnLost(std::string_view reason) override;
  std::optional<TimePoint> Deadline() const override;
  std::chrono::milliseconds RetryDelay() const override { return kReopenInterval; }

  // Initialised and listening for calls.
  bool connected() const override { return connected_; }

 private:
  // Where the check of a quiet modem stands.
  enum class Watch {
    kListening,       // no check under way
    kProbing,         // AT sent, its OK awaited
    kReinitialising,  // no OK: the dialogue runs again
    kReopening,       // the dialogue failed: the port is being reopened
  };

  void Watchdog(TimePoint now, DeviceStep& out);
  void OnDialogueFailed(const std::string& reason, DeviceStep& out);
  void Lost(std::string_view reason, DeviceStep& out);
  void Apply(const ModemDialogue::Step& step, DeviceStep& out);
  void AddCalls(std::vector<std::string> calls, DeviceStep& out) const;
  void Problem(std::string_view reason, DeviceStep& out);
  void Status(const std::string& text, DeviceStep& out) const;
  std::string ReadyText() const;

  std::int32_t line_;
  std::string port_;  // printable, for status texts
  ModemLineReader reader_;
  ModemDialogue dialogue_;
  CallAssembler calls_;
  bool connected_ = false;
  bool port_open_ = false;  // from OnOpened until the port is lost or to be closed
  std::chrono::seconds quiet_spell_;
  Watch watch_ = Watch::kListening;
  TimePoint last_heard_{};  // the last bytes from the modem, or when it was opened
  TimePoint probe_deadline_{};
  std::string last_problem_;  // the reason last reported, so it is reported once
};

// A path as it may appear in a text for the recorder: bytes outside printable ASCII become "?".
std::string PrintablePath(std::string_view path);

}  // namespace qelto::cidr
