#include "drivers/sim/replay_tool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drivers/driver_config.h"
#include "drivers/sim/raw_replay.h"

namespace qelto::cidr {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;
// Stands for the port, host, user and secret that --device may leave out: the replay needs none.
constexpr char kNotGiven[] = "-";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::optional<std::string> ReadWhole(const std::string& path, std::string& why) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) {
    why = error.message();
    return std::nullopt;
  }
  if (!std::filesystem::is_regular_file(status)) {
    why = std::filesystem::is_directory(status) ? "it is a folder" : "it is not a regular file";
    return std::nullopt;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > kMaxReplayBytes) {
    why = "larger than " + std::to_string(kMaxReplayBytes >> 20U) + " MB: no raw data file";
    return std::nullopt;
  }
  errno = 0;
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    why = errno != 0 ? std::strerror(errno) : "cannot be opened";
    return std::nullopt;
  }
  std::string text;
  char buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0;) {
    text.append(buffer, got);
    if (text.size() > kMaxReplayBytes) {
      why = "larger than " + std::to_string(kMaxReplayBytes >> 20U) + " MB: no raw data file";
      return std::nullopt;
    }
  }
  if (std::ferror(file.get()) != 0) {
    why = "a read failed";
    return std::nullopt;
  }
  return text;
}

// The --device sections, with what the replay does not need filled in, so they parse.
std::string CompleteDevices(const std::string& devices) {
  std::string text;
  std::size_t start = 0;
  while (start < devices.size()) {
    std::size_t next = devices.find("[device]\n", start + 1);
    if (next == std::string::npos) next = devices.size();
    std::string section = devices.substr(start, next - start);
    const auto lacks = [&section](const char* key) {
      return section.find("\n" + std::string(key) + " = ") == std::string::npos;
    };
    std::vector<const char*> needed;
    if (section.find("\nkind = pbx\n") != std::string::npos) needed = {"host", "user", "secret"};
    if (section.find("\nkind = modem\n") != std::string::npos) needed = {"port"};
    for (const char* key : needed) {
      if (lacks(key)) section += std::string(key) + " = " + kNotGiven + "\n";
    }
    text += section;
    start = next;
  }
  return text;
}

void Forget(std::string& value) {
  if (value == kNotGiven) value.clear();
}

// Adds the devices of one POS_CIDR.conf text, reporting its problems; false when it had some.
bool AddSettings(const std::string& text, const std::string& source,
                 std::vector<ReplaySettings>& settings, std::ostream& err) {
  const DriverConfig config = ParseDriverConfig(text);
  for (const std::string& error : config.errors) {
    err << "qelto-cidr-sim: " << source << ": " << error << '\n';
  }
  for (DeviceConfig device : config.devices) {
    Forget(device.modem.port);
    Forget(device.pbx.host);
    Forget(device.pbx.user);
    settings.push_back({std::move(device), source});
  }
  return config.errors.empty();
}

}  // namespace

int RunReplay(const ToolRequest& request, std::ostream& out, std::ostream& err) {
  bool whole = true;
  std::vector<ReplaySettings> settings;
  if (!request.devices.empty()) {
    whole =
        AddSettings(CompleteDevices(request.devices), "the command line", settings, err) && whole;
  }
  if (!request.config.empty()) {
    std::string why;
    const std::optional<std::string> config = ReadWhole(request.config, why);
    if (!config) {
      err << "qelto-cidr-sim: cannot read " << request.config << ": " << why << '\n';
      return kExitProblems;
    }
    whole = AddSettings(*config, request.config, settings, err) && whole;
  }
  std::string why;
  const std::optional<std::string> raw = ReadWhole(request.text, why);
  if (!raw) {
    err << "qelto-cidr-sim: cannot read " << request.text << ": " << why << '\n';
    return kExitProblems;
  }
  std::vector<std::string> problems;
  const std::vector<ReplayedDevice> devices =
      ReplayRawData(*raw, request.text, std::move(settings), problems);
  for (const std::string& problem : problems) err << "qelto-cidr-sim: " << problem << '\n';
  for (const ReplayedDevice& device : devices) {
    out << device.heading << '\n';
    for (const std::string& row : device.rows) out << "  " << row << '\n';
    out << "  " << device.calls << (device.calls == 1 ? " call" : " calls") << " from "
        << device.records << (device.records == 1 ? " record" : " records") << "\n\n";
  }
  return whole && problems.empty() ? kExitOk : kExitProblems;
}

}  // namespace qelto::cidr
