#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/driver_events.h"
#include "drivers/sim/sim_command.h"
#include "drivers/sim/simulated_devices.h"

namespace qelto::cidr {

// What one control line produces: the reply lines for the client (the last one begins with
// "OK" or "ERROR") and at most one event for the recorder.
struct CommandOutcome {
  std::vector<std::string> reply;
  std::optional<DriverEvent> event;
};

// Applies a parsed command to the devices.
CommandOutcome ExecuteCommand(const SimCommand& command, SimulatedDevices& devices);

// Parses and executes one line of the control protocol (without its line break).
CommandOutcome ExecuteCommandLine(std::string_view line, SimulatedDevices& devices);

// The same for a driver whose devices are not all simulated: plug and unplug address the
// simulated ones (`simulated` is null when there are none), and info answers `info_text`.
CommandOutcome ExecuteCommandLine(std::string_view line, SimulatedDevices* simulated,
                                  std::string_view info_text);

}  // namespace qelto::cidr
