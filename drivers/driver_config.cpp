#include "drivers/driver_config.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <utility>

#include "drivers/modem/modem_identity.h"
#include "drivers/sim/sim_command.h"

namespace qelto::cidr {
namespace {

constexpr std::array<std::int64_t, 11> kSpeeds = {1200,  2400,   4800,   9600,   19200, 38400,
                                                  57600, 115200, 230400, 460800, 921600};
constexpr std::int64_t kMinRingTimeout = 2;
constexpr std::int64_t kMaxRingTimeout = 60;
constexpr std::int64_t kMaxQuietSpell = 86400;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameLetters(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::optional<std::int64_t> ParseNumber(std::string_view text, std::int64_t minimum,
                                        std::int64_t maximum) {
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;  // no sign
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < minimum || value > maximum) return std::nullopt;
  return value;
}

std::string At(int line) {
  return "line " + std::to_string(line) + ": ";
}

// One [device] section while it is being read.
struct PendingDevice {
  int first_line = 0;
  DeviceConfig config;
  std::vector<std::string> keys;        // keys given, each once, except the repeatable ones
  std::vector<std::string> modem_keys;  // keys for modems only
  std::vector<std::string> pbx_keys;    // keys for telephone systems only
  int port_line = 0;                    // where port was given: a path or a TCP port by kind
  bool has_problem = false;
  bool init_given = false;
  bool caller_id_given = false;
  bool inbound_context_given = false;
};

class ConfigReader {
 public:
  DriverConfig Read(std::string_view text) {
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    int number = 0;
    while (!text.empty()) {
      const std::size_t end = std::min(text.find('\n'), text.size());
      std::string_view line = text.substr(0, end);
      text.remove_prefix(std::min(end + 1, text.size()));
      if (line.ends_with('\r')) line.remove_suffix(1);
      ReadLine(++number, Trim(line));
    }
    FinishDevice();
    return std::move(result_);
  }

 private:
  void ReadLine(int number, std::string_view line) {
    if (line.empty() || line.front() == '#' || line.front() == ';') return;
    if (line.front() == '[') return StartSection(number, line);
    if (skipping_section_) return;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return Problem(number, "expected KEY = VALUE");
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (!device_) return SetGlobal(number, key, value);
    SetDeviceKey(number, key, value);
  }

  void StartSection(int number, std::string_view line) {
    FinishDevice();
    skipping_section_ = line != "[device]";
    if (skipping_section_) return Problem(number, "unknown section " + std::string(line));
    device_ = PendingDevice{};
    device_->first_line = number;
  }

  void SetGlobal(int number, std::string_view key, std::string_view value) {
    if (key == "raw_log") {
      if (raw_log_given_) return Problem(number, "raw_log given twice");
      raw_log_given_ = true;
      result_.raw_log = std::string(value);
      return;
    }
    if (IsDeviceKey(key)) return Problem(number, std::string(key) + " outside a [device] section");
    Problem(number, "unknown key \"" + std::string(key) + "\"");
  }

  static bool IsDeviceKey(std::string_view key) {
    return key == "kind" || key == "line" || key == "port" || IsModemKey(key) || IsPbxKey(key);
  }

  static bool IsModemKey(std::string_view key) {
    return key == "speed" || key == "flow" || key == "init" || key == "caller_id" ||
           key == "ring_timeout" || key == "quiet_spell";
  }

  static bool IsPbxKey(std::string_view key) {
    return key == "host" || key == "user" || key == "secret" || key == "login" ||
           key == "did_line" || key == "inbound_context" || key == "trunk";
  }

  static bool IsRepeatable(std::string_view key) {
    return key == "init" || key == "caller_id" || key == "did_line" || key == "inbound_context" ||
           key == "trunk";
  }

  void SetDeviceKey(int number, std::string_view key, std::string_view value) {
    if (!IsDeviceKey(key)) return DeviceProblem(number, "unknown key \"" + std::string(key) + "\"");
    std::vector<std::string>& keys = device_->keys;
    if (!IsRepeatable(key) && std::find(keys.begin(), keys.end(), key) != keys.end()) {
      return DeviceProblem(number, std::string(key) + " given twice");
    }
    keys.emplace_back(key);
    if (IsModemKey(key)) device_->modem_keys.emplace_back(key);
    if (IsPbxKey(key)) device_->pbx_keys.emplace_back(key);
    if (value.empty()) return DeviceProblem(number, std::string(key) + " has no value");
    SetValue(number, key, value);
  }

  void SetValue(int number, std::string_view key, std::string_view value) {
    DeviceConfig& config = device_->config;
    if (key == "kind") return SetKind(number, value);
    if (key == "line") {
      const auto line = ParseNumber(value, 1, 2147483647);
      if (!line) return DeviceProblem(number, "line must be a number from 1 to 2147483647");
      config.line = static_cast<std::int32_t>(*line);
    } else if (key == "port") {
      config.modem.port = std::string(value);  // a path or a TCP port: the kind says which
      device_->port_line = number;
    } else if (IsPbxKey(key)) {
      SetPbxValue(number, key, value);
    } else if (key == "speed") {
      const auto speed = ParseNumber(value, 0, 4000000);
      if (!speed || !IsSupportedSpeed(*speed)) return DeviceProblem(number, SpeedProblem());
      config.modem.speed = static_cast<int>(*speed);
    } else if (key == "flow") {
      if (value != "none" && value != "rtscts") {
        return DeviceProblem(number, "flow must be none or rtscts");
      }
      config.modem.rts_cts = value == "rtscts";
    } else if (key == "ring_timeout") {
      const auto seconds = ParseNumber(value, kMinRingTimeout, kMaxRingTimeout);
      if (!seconds) return DeviceProblem(number, "ring_timeout must be 2 to 60 seconds");
      config.modem.ring_timeout = std::chrono::seconds(*seconds);
    } else if (key == "quiet_spell") {
      const auto seconds = ParseNumber(value, 1, kMaxQuietSpell);
      if (!seconds) return DeviceProblem(number, "quiet_spell must be 1 to 86400 seconds");
      config.modem.quiet_spell = std::chrono::seconds(*seconds);
    } else {
      AddCommand(number, key, value);
    }
  }

  void SetKind(int number, std::string_view value) {
    DeviceKind& kind = device_->config.kind;
    if (value == "modem") {
      kind = DeviceKind::kModem;
    } else if (value == "sim") {
      kind = DeviceKind::kSim;
    } else if (value == "pbx") {
      kind = DeviceKind::kPbx;
    } else {
      DeviceProblem(number, "kind must be modem, sim or pbx");
    }
  }

  // Values are never quoted in problems: one of them is the manager's secret.
  void SetPbxValue(int number, std::string_view key, std::string_view value) {
    PbxSettings& pbx = device_->config.pbx;
    if (value.find_first_of("\r\n") != std::string_view::npos || value.size() > 200) {
      return DeviceProblem(number, std::string(key) + " must be at most 200 bytes");
    }
    if (key == "host") {
      pbx.host = std::string(value);
    } else if (key == "user") {
      pbx.user = std::string(value);
    } else if (key == "secret") {
      pbx.secret = std::string(value);
    } else if (key == "login") {
      if (value != "challenge" && value != "plain") {
        return DeviceProblem(number, "login must be challenge or plain");
      }
      pbx.plain_login = value == "plain";
    } else if (key == "did_line") {
      AddDidLine(number, value);
    } else if (key == "trunk") {
      pbx.trunks.emplace_back(value);
    } else {
      if (!std::exchange(device_->inbound_context_given, true)) pbx.inbound_contexts.clear();
      pbx.inbound_contexts.emplace_back(value);
    }
  }

  void AddDidLine(int number, std::string_view value) {
    const std::size_t equals = value.find('=');
    const std::string_view dialled = Trim(value.substr(0, equals));
    const auto line = equals == std::string_view::npos
                          ? std::nullopt
                          : ParseNumber(Trim(value.substr(equals + 1)), 1, 2147483647);
    if (dialled.empty() || !line) {
      return DeviceProblem(number, "did_line must be NUMBER=LINE, the line from 1 to 2147483647");
    }
    std::vector<PbxSettings::DidLine>& lines = device_->config.pbx.did_lines;
    for (const PbxSettings::DidLine& other : lines) {
      if (other.number == dialled) return DeviceProblem(number, "did_line number given twice");
    }
    lines.push_back({std::string(dialled), static_cast<std::int32_t>(*line)});
  }

  // A telephone system's port is its TCP port; the text was kept until the kind was known.
  void SetPbxPort(PendingDevice& device) {
    std::string& text = device.config.modem.port;
    if (text.empty()) return;
    const auto port = ParseNumber(text, 1, 65535);
    if (!port) {
      Problem(device.port_line, "port must be a TCP port from 1 to 65535");
      device.has_problem = true;
    } else {
      device.config.pbx.port = static_cast<int>(*port);
    }
    text.clear();
  }

  // The first init or caller_id line replaces the defaults; later ones add to the list.
  void AddCommand(int number, std::string_view key, std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos || value.size() > 60) {
      return DeviceProblem(number, std::string(key) + " must be one command of at most 60 bytes");
    }
    const bool is_init = key == "init";
    bool& given = is_init ? device_->init_given : device_->caller_id_given;
    std::vector<std::string>& list =
        is_init ? device_->config.modem.init : device_->config.modem.caller_id;
    if (!std::exchange(given, true)) list.clear();
    list.emplace_back(value);
  }

  static std::string SpeedProblem() {
    std::string text = "speed must be one of";
    for (const std::int64_t speed : kSpeeds) text += " " + std::to_string(speed);
    return text;
  }

  void FinishDevice() {
    if (!device_) return;
    PendingDevice device = std::move(*device_);
    device_.reset();
    CheckComplete(device);
    if (device.has_problem) {
      Problem(device.first_line, "[device] left out");
      return;
    }
    result_.devices.push_back(std::move(device.config));
    result_.section_lines.push_back(device.first_line);
  }

  void CheckComplete(PendingDevice& device) {
    const auto given = [&](std::string_view key) {
      return std::find(device.keys.begin(), device.keys.end(), key) != device.keys.end();
    };
    const auto problem = [&](std::string text) {
      Problem(device.first_line, std::move(text));
      device.has_problem = true;
    };
    const DeviceConfig& config = device.config;
    if (!given("kind")) problem("[device] without kind");
    if (!given("line")) problem("[device] without line");
    if (config.kind == DeviceKind::kModem && !given("port")) problem("modem without port");
    if (config.kind == DeviceKind::kModem && IsIdentityPort(config.modem.port) &&
        !ParseModemIdentity(config.modem.port)) {
      Problem(device.port_line, "port " + config.modem.port +
                                    " is not a modem's identity: write it as "
                                    "USB\\VID_0572&PID_1340\\0001, or without the serial number");
      device.has_problem = true;
    }
    if (config.kind == DeviceKind::kSim && given("port")) problem("port is for modems only");
    if (config.kind != DeviceKind::kModem && !device.modem_keys.empty()) {
      problem(device.modem_keys.front() + " is for modems only");
    }
    if (config.kind != DeviceKind::kPbx && !device.pbx_keys.empty()) {
      problem(device.pbx_keys.front() + " is for telephone systems (kind = pbx) only");
    }
    if (config.kind == DeviceKind::kPbx) {
      SetPbxPort(device);
      for (const char* key : {"host", "user", "secret"}) {
        if (!given(key)) problem(std::string("pbx without ") + key);
      }
    }
    if (device.has_problem) return;
    const auto lines = DeviceLines(config);
    for (std::size_t index = 0; index < result_.devices.size(); ++index) {
      const DeviceConfig& other = result_.devices[index];
      for (const std::int32_t line : DeviceLines(other)) {
        if (std::find(lines.begin(), lines.end(), line) != lines.end()) {
          problem("line " + std::to_string(line) + " taken");
        }
      }
      if (config.kind == DeviceKind::kModem && other.kind == DeviceKind::kModem &&
          SameModemPort(other.modem.port, config.modem.port)) {
        problem("port " + config.modem.port + " taken");
      }
      // Each section would log in and report every call: every call twice.
      if (config.kind == DeviceKind::kPbx && other.kind == DeviceKind::kPbx &&
          SamePbxByName(other.pbx, config.pbx)) {
        problem("the telephone system of the [device] at line " +
                std::to_string(result_.section_lines[index]) + " again");
      }
    }
    if (result_.devices.size() >= static_cast<std::size_t>(kMaxDevices)) {
      problem("more than " + std::to_string(kMaxDevices) + " devices");
    }
  }

  // The lines a device's calls may be reported on.
  static std::vector<std::int32_t> DeviceLines(const DeviceConfig& config) {
    std::vector<std::int32_t> lines{config.line};
    if (config.kind != DeviceKind::kPbx) return lines;
    for (const PbxSettings::DidLine& did : config.pbx.did_lines) lines.push_back(did.line);
    return lines;
  }

  void Problem(int number, std::string text) { result_.errors.push_back(At(number) + text); }

  void DeviceProblem(int number, std::string text) {
    Problem(number, std::move(text));
    device_->has_problem = true;
  }

  DriverConfig result_;
  std::optional<PendingDevice> device_;
  bool skipping_section_ = false;
  bool raw_log_given_ = false;
};

}  // namespace

bool SamePbxByName(const PbxSettings& a, const PbxSettings& b) {
  std::string_view first = a.host;
  std::string_view second = b.host;
  if (first.ends_with('.')) first.remove_suffix(1);
  if (second.ends_with('.')) second.remove_suffix(1);
  return SameLetters(first, second) && (a.port == b.port || a.user == b.user);
}

bool SameModemPort(std::string_view a, std::string_view b) {
  if (a == b) return true;
  // Unix paths are told apart by letter case; Windows device names are not.
  if (a.find('/') != std::string_view::npos || b.find('/') != std::string_view::npos) return false;
  constexpr std::string_view kDevicePrefix = "\\\\.\\";
  if (a.starts_with(kDevicePrefix)) a.remove_prefix(kDevicePrefix.size());
  if (b.starts_with(kDevicePrefix)) b.remove_prefix(kDevicePrefix.size());
  return SameLetters(a, b);
}

bool IsSupportedSpeed(std::int64_t speed) {
  return std::find(kSpeeds.begin(), kSpeeds.end(), speed) != kSpeeds.end();
}

DriverConfig ParseDriverConfig(std::string_view text) {
  return ConfigReader().Read(text);
}

std::vector<std::string> ConfigFileCandidates(std::string_view library_dir) {
  std::vector<std::string> candidates;
  if (!library_dir.empty()) {
    std::string beside(library_dir);
    if (!beside.ends_with('/')) beside += '/';
    candidates.push_back(beside + kConfigFileName);
  }
  candidates.emplace_back(kSystemConfigPath);
  return candidates;
}

std::string PathBesideConfig(std::string_view config_path, std::string_view path) {
  // Windows' folders end in either slash, and "C:..." names a drive of its own.
  const bool absolute = !path.empty() && (path.front() == '/' || path.front() == '\\' ||
                                          (path.size() >= 2 && path[1] == ':'));
  if (path.empty() || absolute) return std::string(path);
  const std::size_t slash = config_path.find_last_of("/\\");
  if (slash == std::string_view::npos) return std::string(path);
  return std::string(config_path.substr(0, slash + 1)) + std::string(path);
}

}  // namespace qelto::cidr
