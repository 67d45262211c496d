#include "drivers/device_roster.h"

#include <algorithm>
#include <utility>

#include "drivers/info_text.h"
#include "drivers/modem/modem_device.h"
#include "drivers/text_encoding.h"

namespace qelto::sim {
namespace {

// A configured driver names the first few problems; the log line must stay readable.
constexpr std::size_t kProblemsNamed = 3;

}  // namespace

DeviceRoster DeviceRoster::Simulated(int count) {
  DeviceRoster roster;
  roster.simulated_.emplace(count);
  for (int device = 1; device <= roster.simulated_->count(); ++device) {
    roster.entries_.push_back({DeviceKind::kSim, device, static_cast<std::size_t>(device - 1)});
  }
  return roster;
}

DeviceRoster DeviceRoster::Configured(const DriverConfig& config, std::string source) {
  DeviceRoster roster;
  roster.configured_ = true;
  roster.source_ = std::move(source);
  roster.problems_ = config.errors;
  std::size_t simulated = 0;
  for (const DeviceConfig& device : config.devices) {
    if (device.kind != DeviceKind::kSim) {
      roster.entries_.push_back({device.kind, device.line, roster.modems_.size()});
      roster.modems_.push_back(device);
    } else {
      roster.entries_.push_back({DeviceKind::kSim, device.line, simulated++});
    }
  }
  roster.modem_connected_.assign(roster.modems_.size(), 0);
  if (simulated > 0) roster.simulated_.emplace(static_cast<int>(simulated));
  return roster;
}

std::string DeviceRoster::InfoText() const {
  if (!configured_) return BuildInfoText(*simulated_);
  std::vector<InfoDevice> devices;
  for (const Entry& entry : entries_) {
    std::string label = "Line " + std::to_string(entry.line);
    label += Label(entry);
    devices.push_back({std::move(label), IsConnected(entry)});
  }
  return BuildInfoText("POS CID Modems", devices);
}

DriverEvent DeviceRoster::StartEvent(std::string_view socket_problem) const {
  if (!configured_) return StartStatusEvent(*simulated_, socket_problem);
  std::string text = "Driver started with " + source_;
  if (!socket_problem.empty()) {
    text += " without control socket (" + std::string(socket_problem) + ")";
  }
  text += ": " + std::to_string(ConnectedCount()) + " of " + std::to_string(DeviceCount()) +
          " devices connected";
  for (std::size_t i = 0; i < problems_.size() && i < kProblemsNamed; ++i) {
    text += "; " + problems_[i];
  }
  if (problems_.size() > kProblemsNamed) {
    text += "; and " + std::to_string(problems_.size() - kProblemsNamed) + " more problems";
  }
  // Paths and the file's own words are UTF-8 by custom but not by guarantee.
  std::optional<std::u16string> utf16 = Utf8ToUtf16(text);
  return StatusEvent(utf16 ? *utf16 : WidenAscii(PrintablePath(text)));
}

CommandOutcome DeviceRoster::Execute(std::string_view line) {
  if (!configured_) return ExecuteCommandLine(line, *simulated_);
  const std::string info = InfoText();
  return ExecuteCommandLine(line, simulated_ ? &*simulated_ : nullptr, info);
}

void DeviceRoster::AddProblem(std::string problem) {
  problems_.push_back(std::move(problem));
}

void DeviceRoster::SetModemConnected(std::size_t modem, bool connected) {
  if (modem < modem_connected_.size()) modem_connected_[modem] = connected ? 1 : 0;
}

void DeviceRoster::DisconnectModems() {
  std::fill(modem_connected_.begin(), modem_connected_.end(), 0);
}

int DeviceRoster::ConnectedCount() const {
  return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                        [this](const Entry& entry) { return IsConnected(entry); }));
}

std::string DeviceRoster::Label(const Entry& entry) const {
  switch (entry.kind) {
    case DeviceKind::kModem:
      return " modem " + PrintablePath(modems_[entry.index].modem.port);
    case DeviceKind::kPbx: {
      const PbxSettings& pbx = modems_[entry.index].pbx;
      return " pbx " + PrintablePath(pbx.host) + ":" + std::to_string(pbx.port);
    }
    case DeviceKind::kSim:
      break;
  }
  return " sim " + std::to_string(entry.index + 1);
}

bool DeviceRoster::IsConnected(const Entry& entry) const {
  if (entry.kind != DeviceKind::kSim) return modem_connected_[entry.index] != 0;
  return simulated_->IsConnected(static_cast<int>(entry.index) + 1);
}

}  // namespace qelto::sim
