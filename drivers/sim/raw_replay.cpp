#include "drivers/sim/raw_replay.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <utility>

#include "drivers/modem/modem_device.h"
#include "drivers/pbx/pbx_device.h"

namespace qelto::cidr {
namespace {

using TimePoint = std::chrono::steady_clock::time_point;

constexpr std::string_view kOpened = "opened ";
constexpr std::string_view kConnected = "connected to ";
constexpr std::string_view kClosed = "closed: ";
constexpr std::string_view kStopped = "the driver stopped";
// Why the driver closes a port when the modem asked it to (see ModemDevice).
constexpr std::string_view kNoAnswer = "the modem does not answer";
// Deadlines met between two records; far more than any gap gives, so a device that kept its
// deadline in the past cannot hold the replay.
constexpr int kMaxTicksPerGap = 100000;

// The login's answer is in the raw data; the key itself never is, and is not needed.
std::string NoMd5(std::string_view /*bytes*/) {
  return {};
}

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10U) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6U));
      out += static_cast<char>(0x80 | (c & 0x3FU));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12U));
      out += static_cast<char>(0x80 | ((c >> 6U) & 0x3FU));
      out += static_cast<char>(0x80 | (c & 0x3FU));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18U));
      out += static_cast<char>(0x80 | ((c >> 12U) & 0x3FU));
      out += static_cast<char>(0x80 | ((c >> 6U) & 0x3FU));
      out += static_cast<char>(0x80 | (c & 0x3FU));
    }
  }
  return out;
}

bool LooksLikeManagerText(std::string_view bytes) {
  return bytes.find("Asterisk Call Manager") != std::string_view::npos ||
         bytes.find("Event: ") != std::string_view::npos ||
         bytes.find("Response: ") != std::string_view::npos ||
         bytes.find("Action: ") != std::string_view::npos;
}

TimePoint At(std::chrono::milliseconds at) {
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(at));
}

}  // namespace

struct RawReplay::Device {
  ReplayedDevice out;
  DeviceConfig config;
  std::string source;
  std::unique_ptr<DeviceSession> session;
  bool modem = false;
  bool open = false;
  bool asked_to_close = false;
  bool told_no_start = false;
  std::chrono::milliseconds last{};
};

RawReplay::RawReplay(std::vector<ReplaySettings> settings) : settings_(std::move(settings)) {}

RawReplay::~RawReplay() = default;

void RawReplay::Add(const RawRecord& record) {
  Device& device = DeviceFor(record);
  ++device.out.records;
  // A clock set back (or a time change) must not make time run backwards for the devices.
  const std::chrono::milliseconds at = std::max(record.at, device.last);
  CatchUp(device, at);
  device.last = at;
  Feed(device, record);
}

std::vector<ReplayedDevice> RawReplay::Finish() {
  std::vector<ReplayedDevice> done;
  for (auto& [line, device] : devices_) {
    // A modem's last call is over after its ring timeout; nothing else is waited for, since the
    // raw data cannot tell what came after its end.
    if (device->modem) {
      CatchUp(*device, device->last + std::chrono::milliseconds(device->config.modem.ring_timeout));
    }
    done.push_back(std::move(device->out));
  }
  devices_.clear();
  return done;
}

RawReplay::Device& RawReplay::DeviceFor(const RawRecord& record) {
  std::unique_ptr<Device>& slot = devices_[record.line];
  if (slot) return *slot;
  slot = std::make_unique<Device>();
  Device& device = *slot;
  device.out.line = record.line;
  const auto given = std::find_if(settings_.begin(), settings_.end(), [&](const auto& settings) {
    return settings.config.line == record.line && settings.config.kind != DeviceKind::kSim;
  });
  // What the record's note names: a modem's port, or a telephone system's address.
  const bool note = record.direction == RawDirection::kNote;
  const std::string_view bytes = record.bytes;
  std::string port;
  std::string host;
  int pbx_port = 0;
  if (note && bytes.starts_with(kOpened)) port = std::string(bytes.substr(kOpened.size()));
  if (note && bytes.starts_with(kConnected)) {
    const std::string_view address = bytes.substr(kConnected.size());
    const std::size_t colon = address.rfind(':');
    host = std::string(address.substr(0, colon));
    if (colon != std::string_view::npos) {
      std::from_chars(address.data() + colon + 1, address.data() + address.size(), pbx_port);
    }
  }
  if (given != settings_.end()) {
    device.config = given->config;
    device.source = "settings from " + given->source;
  } else {
    device.config.line = record.line;
    const bool pbx = !host.empty() || (!note && LooksLikeManagerText(bytes));
    device.config.kind = pbx ? DeviceKind::kPbx : DeviceKind::kModem;
    if (pbx_port > 0) device.config.pbx.port = pbx_port;
    device.source = "default settings: none given for line " + std::to_string(record.line);
  }
  // Settings given without the port or host take the raw data's.
  if (device.config.modem.port.empty()) device.config.modem.port = port;
  if (device.config.pbx.host.empty()) device.config.pbx.host = host;
  if (const auto user = users_.find(record.line);
      user != users_.end() && device.config.pbx.user.empty()) {
    device.config.pbx.user = user->second;
  }
  const bool modem = device.config.kind == DeviceKind::kModem;
  device.out.heading = "Line " + std::to_string(record.line) + ": " +
                       (modem ? "modem at " + PrintablePath(device.config.modem.port)
                              : "pbx at " + PrintablePath(device.config.pbx.host + ":" +
                                                          std::to_string(device.config.pbx.port))) +
                       " (" + device.source + ")";
  Begin(device);
  return device;
}

void RawReplay::Begin(Device& device) const {
  device.open = false;
  device.asked_to_close = false;
  device.modem = device.config.kind == DeviceKind::kModem;
  if (device.modem) {
    device.session = std::make_unique<ModemDevice>(device.config.line, device.config.modem);
  } else {
    device.session = std::make_unique<PbxDevice>(device.config.line, device.config.pbx, &NoMd5);
  }
}

namespace {

void Collect(const DeviceStep& step, const std::string& stamp, ReplayedDevice& out) {
  for (const DriverEvent& event : step.events) {
    const std::string text = Utf8(event.text);
    if (event.code == 0) {
      out.rows.push_back(stamp + "  status   " + text.substr(1));
      continue;
    }
    ++out.calls;
    const std::string digits = text.substr(1);
    out.rows.push_back(
        stamp + "  call     line " + std::to_string(event.code) + ", " +
        (digits.empty() ? "number withheld or not sent (recorded as 0)" : "number " + digits));
  }
  for (const std::string& dropped : step.dropped) {
    out.rows.push_back(stamp + "  dropped  " + dropped);
  }
}

}  // namespace

void RawReplay::CatchUp(Device& device, std::chrono::milliseconds until) {
  for (int tick = 0; tick < kMaxTicksPerGap; ++tick) {
    const std::optional<TimePoint> deadline = device.session->Deadline();
    if (!deadline || *deadline > At(until)) return;
    const std::string moment = FormatRawStamp(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline->time_since_epoch()));
    const DeviceStep step = device.session->OnTime(*deadline);
    device.asked_to_close = device.asked_to_close || step.close;
    Collect(step, moment, device.out);
  }
}

void RawReplay::Feed(Device& device, const RawRecord& record) {
  const TimePoint now = At(device.last);
  const std::string_view bytes = record.bytes;
  if (record.direction == RawDirection::kSent) return;
  if (record.direction == RawDirection::kNote) {
    if (bytes.starts_with(kOpened) || bytes.starts_with(kConnected)) {
      // Opened again without being closed: the driver's run before ended without a word.
      if (device.open) Begin(device);
      device.open = true;
      device.asked_to_close = false;
      Collect(device.session->OnOpened(now), record.stamp, device.out);
    } else if (bytes.starts_with(kClosed)) {
      const std::string_view why = bytes.substr(kClosed.size());
      if (why == kStopped) {
        Begin(device);
        return;
      }
      if (!device.asked_to_close && device.modem && why == kNoAnswer) {
        device.out.rows.push_back(
            record.stamp +
            "  note     the driver closed the port as the modem did not answer, where the replay "
            "with these settings has the modem answer: replay with the shop's POS_CIDR.conf");
      } else if (!device.asked_to_close) {
        Collect(device.session->OnLost(why), record.stamp, device.out);
      }
      device.open = false;
    }
    return;
  }
  if (!device.open && !device.told_no_start) {
    device.told_no_start = true;
    device.out.rows.push_back(record.stamp +
                              "  note     the raw data begins inside a connection, whose start "
                              "is not in it: " +
                              (device.modem ? "calls are read, the modem's state is not known"
                                            : "the telephone system's events are not read until "
                                              "it connects again"));
  }
  const DeviceStep step = device.session->OnBytes(bytes, now);
  device.asked_to_close = device.asked_to_close || step.close;
  Collect(step, record.stamp, device.out);
}

std::vector<ReplayedDevice> ReplayRawData(std::string_view text, std::string_view file_name,
                                          std::vector<ReplaySettings> settings,
                                          std::vector<std::string>& problems) {
  // The records first, so the manager user a telephone system's login names is known before
  // its device is made: shown in its status texts as in the driver's.
  std::vector<RawRecord> all;
  constexpr int kMaxProblemsShown = 20;
  int number = 0;
  int records = 0;
  int garbled = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (line.empty() || line == "\r") continue;
    std::string why;
    const std::optional<RawRecord> record = ParseRawRecord(line, why);
    if (!record) {
      if (++garbled > kMaxProblemsShown) continue;
      problems.push_back(std::string(file_name) + ":" + std::to_string(number) +
                         ": not a raw data record (" + why + "), passed over");
      continue;
    }
    ++records;
    all.push_back(std::move(*record));
  }
  RawReplay replay(std::move(settings));
  for (const RawRecord& record : all) {
    constexpr std::string_view kUser = "\r\nUsername: ";
    const std::size_t at = record.bytes.find(kUser);
    if (record.direction == RawDirection::kSent && at != std::string::npos) {
      const std::size_t start = at + kUser.size();
      replay.SawUser(record.line,
                     record.bytes.substr(start, record.bytes.find('\r', start) - start));
    }
  }
  for (const RawRecord& record : all) replay.Add(record);
  if (garbled > kMaxProblemsShown) {
    problems.push_back(std::string(file_name) + ": " + std::to_string(garbled - kMaxProblemsShown) +
                       " more lines that are no record, passed over");
  }
  if (records == 0) {
    problems.push_back(std::string(file_name) + ": holds no raw data record");
  }
  return replay.Finish();
}

}  // namespace qelto::cidr
