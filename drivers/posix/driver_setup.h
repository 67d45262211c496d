#pragma once

#include <string>
#include <vector>

#include "drivers/device_roster.h"

namespace qelto::sim {

// What the driver runs, as found at its first use.
struct DriverSetup {
  DeviceRoster roster;
  std::string raw_log;  // the raw data file, or empty for none
};

// Reads the first of `candidates` that exists (see ConfigFileCandidates). Without any, the
// driver simulates `simulated_count` devices as it always did. A file that exists but cannot be
// read configures no device, and its start event tells why.
DriverSetup LoadDriverSetup(const std::vector<std::string>& candidates, int simulated_count);

}  // namespace qelto::sim
