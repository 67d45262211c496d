#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drivers/driver_config.h"
#include "drivers/sim/raw_reader.h"

namespace qelto::cidr {

// The settings of one device to replay, and where they came from, for the heading.
struct ReplaySettings {
  DeviceConfig config;
  std::string source;  // "POS_CIDR.conf", "the command line"
};

// What the driver made of one device's raw data.
struct ReplayedDevice {
  std::int32_t line = 0;
  std::string heading;            // "Line 1: modem at PORT (settings from SOURCE)"
  std::vector<std::string> rows;  // "STAMP  call     line 1, number 5551234", in order
  int calls = 0;
  int records = 0;
};

// Feeds the records of a raw data file, as they were written, to the very devices the driver
// runs (ModemDevice, PbxDevice), with time passing as the stamps say, and collects for each line
// what they report: calls, status texts, and what they passed over and why. Pure.
//
// A record's line finds its settings among those given; a line without any is replayed with
// the defaults of the kind its first record shows ("# opened PATH": a modem, "# connected to
// HOST:PORT" or manager-interface text: a telephone system). "# opened" and "# connected to"
// open the device; "# closed: WHY" ends the connection as the driver did: a loss the device did
// not ask for is one, "the driver stopped" ends the run, and the next run begins afresh. What
// the driver sent is its own doing and is not fed back.
class RawReplay {
 public:
  explicit RawReplay(std::vector<ReplaySettings> settings);
  ~RawReplay();
  RawReplay(const RawReplay&) = delete;
  RawReplay& operator=(const RawReplay&) = delete;

  // The manager user a line's login named, for a line replayed with the defaults: the first
  // one counts.
  void SawUser(std::int32_t line, std::string user) { users_.emplace(line, std::move(user)); }
  void Add(const RawRecord& record);
  // Lets the last call of each modem end as its ring timeout says; the devices by line.
  std::vector<ReplayedDevice> Finish();

 private:
  struct Device;

  Device& DeviceFor(const RawRecord& record);
  void Begin(Device& device) const;
  void Feed(Device& device, const RawRecord& record);
  // Meets the device's deadlines up to `until`, as the driver's thread would.
  void CatchUp(Device& device, std::chrono::milliseconds until);

  std::vector<ReplaySettings> settings_;
  std::map<std::int32_t, std::unique_ptr<Device>> devices_;
  std::map<std::int32_t, std::string> users_;
};

// The whole replay of a raw data file's text: its records in order, a line that is no record
// (or a text that holds none) reported as "FILE:N: ..." in `problems`. Pure.
std::vector<ReplayedDevice> ReplayRawData(std::string_view text, std::string_view file_name,
                                          std::vector<ReplaySettings> settings,
                                          std::vector<std::string>& problems);

}  // namespace qelto::cidr
