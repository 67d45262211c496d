#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qelto::sim {

inline constexpr char kConfigFileName[] = "POS_CIDR.conf";
inline constexpr char kSystemConfigPath[] = "/etc/qelto-callerid/POS_CIDR.conf";
// Seconds without a RING or caller-ID line after which a call is over. Rings repeat every 3 to
// 6 s on the exchanges we know of, so 8 s keeps one call whole without merging two.
inline constexpr std::chrono::seconds kDefaultRingTimeout{8};

enum class DeviceKind { kModem, kSim };

// How to reach a caller-ID modem and switch its caller ID on.
struct ModemSettings {
  std::string port;  // the serial device's path, e.g. /dev/serial/by-id/usb-...-if00
  int speed = 115200;
  bool rts_cts = false;  // hardware flow control; none by default
  // Sent first, in order; the modem must answer each (OK or ERROR) for the port to be usable.
  std::vector<std::string> init = {"ATZ"};
  // Tried in order until the modem answers OK to one.
  std::vector<std::string> caller_id = {"AT+VCID=1", "AT#CID=1"};
  std::chrono::seconds ring_timeout = kDefaultRingTimeout;

  friend bool operator==(const ModemSettings&, const ModemSettings&) = default;
};

// One [device] section of the configuration file.
struct DeviceConfig {
  DeviceKind kind = DeviceKind::kSim;
  std::int32_t line = 0;  // the telephone line number its calls are reported on, 1..INT32_MAX
  ModemSettings modem;    // kModem only

  friend bool operator==(const DeviceConfig&, const DeviceConfig&) = default;
};

struct DriverConfig {
  std::vector<DeviceConfig> devices;  // in the order of the file
  std::string raw_log;                // the raw data file as written; empty: no raw data kept
  // One text per problem, "line N: ...". A device with a problem is left out; the others run.
  std::vector<std::string> errors;
};

// The speeds a modem may be configured for, in bits per second.
bool IsSupportedSpeed(std::int64_t speed);

// Parses the text of a POS_CIDR.conf. Pure. Format, one setting per line:
//   # comment (also ";"; only as the first non-blank character, since AT commands hold "#")
//   raw_log = FILE           before the first section: keep every byte read from the modems
//   [device]                 starts a device
//   kind = modem | sim       required
//   line = N                 required: the telephone line number, 1..2147483647
//   port = PATH              modems, required: the serial device
//   speed = 115200           modems: one of the speeds above
//   flow = none | rtscts     modems
//   init = ATZ               modems, repeatable: the commands sent first, replacing ATZ
//   caller_id = AT+VCID=1    modems, repeatable: the caller-ID commands tried, replacing the two
//                            defaults AT+VCID=1 and AT#CID=1
//   ring_timeout = 8         modems: seconds without a RING after which a call is over, 2..60
// Keys are lower case; blanks around keys and values are ignored; CR LF line ends and a UTF-8
// byte order mark are accepted. At most 8 devices; no two may share a port or a line number.
DriverConfig ParseDriverConfig(std::string_view text);

// Where the driver looks for its configuration file, in this order: POS_CIDR.conf in the
// library's own folder (none when `library_dir` is empty), then kSystemConfigPath. The first
// that exists is used.
std::vector<std::string> ConfigFileCandidates(std::string_view library_dir);

// A path written in the configuration file at `config_path`: a relative one is taken from the
// file's folder. Empty stays empty.
std::string PathBesideConfig(std::string_view config_path, std::string_view path);

}  // namespace qelto::sim
