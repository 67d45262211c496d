#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "drivers/device_roster.h"

namespace qelto::cidr {

// What the driver runs, as found at its first use.
struct DriverSetup {
  DeviceRoster roster;
  std::string raw_log;  // the raw data file, or empty for none
};

// Reads the first of `candidates` that exists (see ConfigFileCandidates). Without any, the
// driver simulates `simulated_count` devices as it always did. A file that exists but cannot be
// read configures no device, and its start event tells why.
DriverSetup LoadDriverSetup(const std::vector<std::string>& candidates, int simulated_count);

// A configuration file is a few dozen lines; anything near this size is not one.
inline constexpr std::size_t kMaxConfigBytes = 1 << 20;

struct ConfigFileText {
  bool exists = false;
  std::string text;
  std::string problem;  // why an existing file could not be read
};

// Reads the configuration file at `path` (UTF-8), at most kMaxConfigBytes of it. Only a regular
// file is read, without waiting: a FIFO, a folder, a device or (on Linux) a symbolic link there
// exists but cannot be read, and `problem` says what it is. Defined once per platform.
ConfigFileText ReadConfigFile(const std::string& path);

}  // namespace qelto::cidr
