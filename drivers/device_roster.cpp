#include "drivers/device_roster.h"

#include <algorithm>
#include <utility>

#include "drivers/info_text.h"
#include "drivers/modem/modem_device.h"
#include "drivers/text_encoding.h"

namespace qelto::cidr {
namespace {

// A configured driver names the first few problems; the log line must stay readable.
constexpr std::size_t kProblemsNamed = 3;

// Paths and the file's own words are UTF-8 by custom but not by guarantee.
DriverEvent TextEvent(const std::string& text) {
  std::optional<std::u16string> utf16 = Utf8ToUtf16(text);
  return StatusEvent(utf16 ? *utf16 : WidenAscii(PrintablePath(text)));
}

// "localhost is 127.0.0.1", or the address alone where the host is written as one.
std::string Resolved(const std::string& host, const std::string& address) {
  if (host == address) return PrintablePath(address);
  return PrintablePath(host) + " is " + PrintablePath(address);
}

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
  for (std::size_t i = 0; i < config.devices.size(); ++i) {
    const DeviceConfig& device = config.devices[i];
    if (device.kind != DeviceKind::kSim) {
      roster.entries_.push_back({device.kind, device.line, roster.modems_.size()});
      roster.modems_.push_back(device);
      roster.modem_sections_.push_back(i < config.section_lines.size() ? config.section_lines[i]
                                                                       : 0);
    } else {
      roster.entries_.push_back({DeviceKind::kSim, device.line, simulated++});
    }
  }
  roster.modem_connected_.assign(roster.modems_.size(), 0);
  roster.pbx_addresses_.resize(roster.modems_.size());
  roster.pbx_refused_.assign(roster.modems_.size(), 0);
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
  return TextEvent(text);
}

DriverEvent DeviceRoster::ProblemEvent(std::string_view problem) const {
  return TextEvent("Driver with " + source_ + ": " + std::string(problem));
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
  for (std::vector<std::string>& addresses : pbx_addresses_) addresses.clear();
  std::fill(pbx_refused_.begin(), pbx_refused_.end(), 0);
}

DeviceRoster::PbxClaim DeviceRoster::ClaimPbxAddresses(std::size_t modem,
                                                       std::vector<std::string> addresses) {
  PbxClaim claim;
  if (modem >= modems_.size() || pbx_refused_[modem] != 0) return {false, {}};
  const PbxSettings& pbx = modems_[modem].pbx;
  for (std::size_t other = 0; other < modems_.size(); ++other) {
    const PbxSettings& held = modems_[other].pbx;
    if (other == modem || (held.port != pbx.port && held.user != pbx.user)) continue;
    const std::vector<std::string>& taken = pbx_addresses_[other];
    const auto shared =
        std::find_first_of(addresses.begin(), addresses.end(), taken.begin(), taken.end());
    if (shared == addresses.end()) continue;
    // The later section gives way, so that which one runs does not hang on timing.
    const std::size_t later = std::max(modem, other);
    const std::size_t earlier = std::min(modem, other);
    claim.problem = "line " + std::to_string(modem_sections_[later]) +
                    ": the telephone system of the [device] at line " +
                    std::to_string(modem_sections_[earlier]) + " again (" +
                    Resolved(modems_[later].pbx.host, *shared) + "): [device] left out";
    if (std::find(problems_.begin(), problems_.end(), claim.problem) == problems_.end()) {
      problems_.push_back(claim.problem);
    }
    pbx_refused_[later] = 1;
    pbx_addresses_[later].clear();
    if (later == modem) return {false, claim.problem};
  }
  pbx_addresses_[modem] = std::move(addresses);
  return claim;
}

bool DeviceRoster::IsRefused(std::size_t modem) const {
  return modem < pbx_refused_.size() && pbx_refused_[modem] != 0;
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

}  // namespace qelto::cidr
