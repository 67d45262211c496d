#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/control/command_executor.h"
#include "drivers/driver_config.h"
#include "drivers/driver_events.h"
#include "drivers/sim/simulated_devices.h"

namespace qelto::cidr {

// The devices one driver serves and how it describes them: without a configuration file the
// simulator of old, with one the devices it lists, modems and simulated ones in its order.
// Holds the connection state of every device; the modems' own threads report theirs. Pure.
class DeviceRoster {
 public:
  // No configuration file: `count` simulated devices, described as the simulator always was.
  static DeviceRoster Simulated(int count);
  // The devices of a configuration read from `source` (a path, named in the start event). Its
  // modems start disconnected; its simulated devices are numbered from 1 in the file's order.
  static DeviceRoster Configured(const DriverConfig& config, std::string source);

  // The information text for CIDR_Info. A configured roster lists each device as
  // "Line <line> modem <port>", "Line <line> pbx <host>:<port>" or "Line <line> sim <k>".
  std::string InfoText() const;
  // The status event sent at every registration, telling how many devices are connected and
  // every problem found in the configuration and at start.
  DriverEvent StartEvent(std::string_view socket_problem) const;
  // Executes one control line; plug and unplug reach the simulated devices only.
  CommandOutcome Execute(std::string_view line);

  // A problem found while starting (the raw data file cannot be opened, say), for StartEvent.
  void AddProblem(std::string problem);
  // The devices with a thread of their own, modems and telephone systems, in the file's order;
  // SetModemConnected takes the index into this list.
  const std::vector<DeviceConfig>& modems() const { return modems_; }
  void SetModemConnected(std::size_t modem, bool connected);
  // Marks every modem disconnected, for when their ports are closed, and forgets the telephone
  // systems' addresses and refusals.
  void DisconnectModems();
  // The addresses (numeric texts) the telephone system `modem` resolved to, before it connects.
  // A [device] that holds one of them with the same port or the same user is that system again,
  // which would report every call twice: the section that comes later in the file is refused,
  // whichever resolved first. `allowed` says whether `modem` may connect; `problem` names a
  // refusal made now (of `modem` or of the later one), also kept for the start events. Claims
  // and refusals last until DisconnectModems.
  struct PbxClaim {
    bool allowed = true;
    std::string problem;
    friend bool operator==(const PbxClaim&, const PbxClaim&) = default;
  };
  PbxClaim ClaimPbxAddresses(std::size_t modem, std::vector<std::string> addresses);
  // Whether a telephone system was refused as another's double: its reports are dropped.
  bool IsRefused(std::size_t modem) const;
  // A problem found while the devices run, as a status event: "SDriver with <source>: <problem>".
  DriverEvent ProblemEvent(std::string_view problem) const;
  int ConnectedCount() const;
  int DeviceCount() const { return static_cast<int>(entries_.size()); }

 private:
  struct Entry {
    DeviceKind kind;
    std::int32_t line;
    std::size_t index;  // into modems_, or the simulated device's number less 1
  };

  bool IsConnected(const Entry& entry) const;
  std::string Label(const Entry& entry) const;

  bool configured_ = false;
  std::string source_;
  std::vector<Entry> entries_;
  std::optional<SimulatedDevices> simulated_;
  std::vector<DeviceConfig> modems_;
  std::vector<char> modem_connected_;  // one flag per modem
  std::vector<int> modem_sections_;    // the line of each modem's [device] in the file
  std::vector<std::vector<std::string>> pbx_addresses_;  // claimed, per modem
  std::vector<char> pbx_refused_;                        // one flag per modem
  std::vector<std::string> problems_;
};

}  // namespace qelto::cidr
