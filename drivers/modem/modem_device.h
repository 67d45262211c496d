#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/driver_config.h"
#include "drivers/driver_events.h"
#include "drivers/modem/call_assembler.h"
#include "drivers/modem/modem_dialogue.h"
#include "drivers/modem/modem_line.h"

namespace qelto::sim {

// How long a modem port stays closed after it failed or was lost, before it is opened again.
inline constexpr std::chrono::seconds kReopenInterval{3};

// What the port's owner is to do after one input to a ModemDevice.
struct ModemStep {
  std::string send;                 // bytes to write to the port
  std::vector<DriverEvent> events;  // for the recorder, in order
  bool close = false;               // close the port, and open it again after kReopenInterval
};

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
class ModemDevice {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  ModemDevice(std::int32_t line, ModemSettings settings);

  ModemStep OnOpenFailed(std::string_view reason);
  // The port was opened (and emptied): the dialogue begins.
  ModemStep OnOpened(TimePoint now);
  ModemStep OnBytes(std::string_view bytes, TimePoint now);
  ModemStep OnTime(TimePoint now);
  // The port hung up or failed; the owner closes it.
  ModemStep OnLost(std::string_view reason);
  // When OnTime has something to do, or nullopt.
  std::optional<TimePoint> Deadline() const;

  // Initialised and listening for calls.
  bool connected() const { return connected_; }

 private:
  void Apply(const ModemDialogue::Step& step, ModemStep& out);
  void AddCalls(std::vector<std::string> calls, ModemStep& out) const;
  void Problem(std::string_view reason, ModemStep& out);
  void Status(const std::string& text, ModemStep& out) const;
  std::string ReadyText() const;

  std::int32_t line_;
  std::string port_;  // printable, for status texts
  ModemLineReader reader_;
  ModemDialogue dialogue_;
  CallAssembler calls_;
  bool connected_ = false;
  std::string last_problem_;  // the reason last reported, so it is reported once
};

// A path as it may appear in a text for the recorder: bytes outside printable ASCII become "?".
std::string PrintablePath(std::string_view path);

}  // namespace qelto::sim
