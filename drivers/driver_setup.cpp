#include "drivers/driver_setup.h"

#include "drivers/driver_config.h"

namespace qelto::cidr {

DriverSetup LoadDriverSetup(const std::vector<std::string>& candidates, int simulated_count) {
  for (const std::string& path : candidates) {
    const ConfigFileText file = ReadConfigFile(path);
    if (!file.exists) continue;
    DriverConfig config;
    if (file.problem.empty()) {
      config = ParseDriverConfig(file.text);
    } else {
      config.errors.push_back("cannot read it: " + file.problem);
    }
    return {DeviceRoster::Configured(config, path), PathBesideConfig(path, config.raw_log)};
  }
  return {DeviceRoster::Simulated(simulated_count), {}};
}

}  // namespace qelto::cidr
