#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qelto::cidr {

inline constexpr char kConfigFileName[] = "POS_CIDR.conf";
inline constexpr char kSystemConfigPath[] = "/etc/qelto-callerid/POS_CIDR.conf";
// Seconds without a RING or caller-ID line after which a call is over. Rings repeat every 3 to
// 6 s on the exchanges we know of, so 8 s keeps one call whole without merging two.
inline constexpr std::chrono::seconds kDefaultRingTimeout{8};
// How long a connected modem may stay silent before the driver checks that it still listens:
// modems that have gone deaf keep their port open but report no call.
inline constexpr std::chrono::seconds kDefaultQuietSpell{600};

enum class DeviceKind { kModem, kSim, kPbx };

// How to reach a caller-ID modem and switch its caller ID on.
struct ModemSettings {
  // The serial device's path, e.g. /dev/serial/by-id/usb-...-if00, COM5, or on Windows the
  // modem's identity, USB\VID_0572&PID_1340\0001, looked up each time the port is opened.
  std::string port;
  int speed = 115200;
  bool rts_cts = false;  // hardware flow control; none by default
  // Sent first, in order; the modem must answer each (OK or ERROR) for the port to be usable.
  std::vector<std::string> init = {"ATZ"};
  // Tried in order until the modem answers OK to one.
  std::vector<std::string> caller_id = {"AT+VCID=1", "AT#CID=1"};
  std::chrono::seconds ring_timeout = kDefaultRingTimeout;
  std::chrono::seconds quiet_spell = kDefaultQuietSpell;

  friend bool operator==(const ModemSettings&, const ModemSettings&) = default;
};

// The manager interface's TCP port when none is given.
inline constexpr int kDefaultPbxPort = 5038;

// How to reach a telephone system's manager interface and which of its calls to report.
struct PbxSettings {
  std::string host;
  int port = kDefaultPbxPort;
  std::string user;
  std::string secret;
  bool plain_login = false;  // send the secret itself instead of answering an MD5 challenge
  // Dialled numbers (the Exten of an incoming call) whose calls go to another line.
  struct DidLine {
    std::string number;
    std::int32_t line = 0;
    friend bool operator==(const DidLine&, const DidLine&) = default;
  };
  std::vector<DidLine> did_lines;
  // Contexts where calls from outside begin, and channel-name prefixes of trunks.
  std::vector<std::string> inbound_contexts = {"from-trunk", "from-pstn"};
  std::vector<std::string> trunks;

  friend bool operator==(const PbxSettings&, const PbxSettings&) = default;
};

// One [device] section of the configuration file.
struct DeviceConfig {
  DeviceKind kind = DeviceKind::kSim;
  std::int32_t line = 0;  // the telephone line number its calls are reported on, 1..INT32_MAX
  ModemSettings modem;    // kModem only
  PbxSettings pbx;        // kPbx only

  friend bool operator==(const DeviceConfig&, const DeviceConfig&) = default;
};

struct DriverConfig {
  std::vector<DeviceConfig> devices;  // in the order of the file
  std::vector<int> section_lines;     // where each device's [device] stands, in the same order
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
//   kind = modem | sim | pbx required
//   line = N                 required: the telephone line number, 1..2147483647
//   port = PATH              modems, required: the serial device, or on Windows the modem's
//                            identity, USB\VID_0572&PID_1340\0001 (see modem/modem_identity.h)
//   speed = 115200           modems: one of the speeds above
//   flow = none | rtscts     modems
//   init = ATZ               modems, repeatable: the commands sent first, replacing ATZ
//   caller_id = AT+VCID=1    modems, repeatable: the caller-ID commands tried, replacing the two
//                            defaults AT+VCID=1 and AT#CID=1
//   ring_timeout = 8         modems: seconds without a RING after which a call is over, 2..60
//   quiet_spell = 600        modems, for tests: seconds of silence before the modem is checked
//                            with AT, 1..86400; left out of the manual, since shops keep 600
//   host = ADDRESS           telephone systems (pbx), required: the manager interface's host
//   port = 5038              pbx: its TCP port, 1..65535 (for modems port is the serial device)
//   user = NAME, secret = S  pbx, required: the manager login
//   login = challenge|plain  pbx: MD5 challenge (default) or the secret itself
//   did_line = NUMBER=LINE   pbx, repeatable: calls to this dialled number go to this line
//   inbound_context = CTX    pbx, repeatable: contexts where calls from outside begin, replacing
//                            the defaults from-trunk and from-pstn
//   trunk = PREFIX           pbx, repeatable: channel-name prefixes of trunks (PJSIP/provider)
// Keys are lower case; blanks around keys and values are ignored; CR LF line ends and a UTF-8
// byte order mark are accepted. At most 8 devices; no two may share a port or a line number,
// and no two may name one telephone system: the same host (in any letter case) with the same
// port or the same user. The section that comes later is left out. Two names for one host
// ("localhost" and "127.0.0.1") are told apart only once resolved, by the driver.
DriverConfig ParseDriverConfig(std::string_view text);

// Whether two telephone systems' settings name one system, by their words: the same host in any
// letter case (a final "." aside) and the same port or the same user.
bool SamePbxByName(const PbxSettings& a, const PbxSettings& b);

// Whether two modems' ports name one port: the same path, or on Windows the same device name in
// any letter case, with or without "\\.\" before it (COM3, com3, \\.\COM3).
bool SameModemPort(std::string_view a, std::string_view b);

// Where the driver looks for its configuration file, in this order: POS_CIDR.conf in the
// library's own folder (none when `library_dir` is empty), then kSystemConfigPath. The first
// that exists is used.
std::vector<std::string> ConfigFileCandidates(std::string_view library_dir);

// A path written in the configuration file at `config_path`: a relative one is taken from the
// file's folder. Empty stays empty.
std::string PathBesideConfig(std::string_view config_path, std::string_view path);

}  // namespace qelto::cidr
