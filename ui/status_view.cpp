#include "ui/status_view.h"

#include <cstdio>

#include "common/texts.h"
#include "recording/solar_date.h"

namespace qelto {
namespace {

// The window's Persian texts, with the Arabic yeh and keheh of the recorder's other texts.
constexpr const char* kDatabaseHeading = "بانک اطلاعاتي";
constexpr const char* kDevicesHeading = "دستگاه ها";
constexpr const char* kCallsHeading = "تماس هاي اخير";
constexpr const char* kKindLabel = "نوع";
constexpr const char* kFileLabel = "فايل";
constexpr const char* kDataSourceLabel = "منبع داده ODBC";
constexpr const char* kServerLabel = "سرور";
constexpr const char* kCatalogueLabel = "نام بانک";
constexpr const char* kLoginLabel = "ورود";
constexpr const char* kIntegratedLoginText = "حساب کاربري سيستم";
constexpr const char* kBranchLabel = "کد شعبه";
constexpr const char* kSettingsLabel = "فايل تنظيمات";
constexpr const char* kNoSettingsText = "تنظيمات خوانده نشد";
constexpr const char* kConnectionLabel = "اتصال";
constexpr const char* kConnectedText = "وصل";
constexpr const char* kDisconnectedText = "قطع";
constexpr const char* kSinceText = "از";
constexpr const char* kLastErrorLabel = "آخرين خطا";
constexpr const char* kNoneText = "ندارد";
constexpr const char* kWaitingLabel = "در انتظار ثبت";
constexpr const char* kLongestWaitText = "طولاني ترين انتظار به ثانيه";
constexpr const char* kJournalLabel = "در دفتر تماس ها";
constexpr const char* kSetAsideLabel = "کنار گذاشته";
constexpr const char* kDriverVersionLabel = "نسخه درايور";
constexpr const char* kDeviceCountLabel = "دستگاه هاي وصل";
constexpr const char* kLastStatusLabel = "آخرين پيام درايور";
constexpr const char* kTimeColumn = "زمان";
constexpr const char* kLineColumn = "خط";
constexpr const char* kNumberColumn = "شماره";
constexpr const char* kStateColumn = "وضعيت";
constexpr const char* kWrittenText = "ثبت شد";
constexpr const char* kWaitingText = "در انتظار بانک اطلاعاتي";
constexpr const char* kSetAsideText = "کنار گذاشته شد";
constexpr const char* kRecoveredText = "بازيابي از دفتر";
constexpr const char* kNoCallsText = "تماسي از شروع برنامه نيامده است";
constexpr const char* kReportWrittenText = "گزارش نوشته و در حافظه کپي شد:";
constexpr const char* kReportFailedText = "گزارش نوشته نشد:";
constexpr const char* kReportNotCopiedText = "گزارش نوشته شد، اما در حافظه کپي نشد:";

std::string KindName(DatabaseKind kind) {
  switch (kind) {
    case DatabaseKind::Sqlite:
      return "SQLite";
    case DatabaseKind::OdbcDsn:
      return "ODBC";
    case DatabaseKind::SqlServer:
      break;
  }
  return "SQL Server";
}

std::string WithSince(const char* state, const std::optional<LocalDateTime>& since) {
  std::string text = state;
  if (since) text += std::string(" ") + kSinceText + " " + SolarMomentText(*since);
  return text;
}

// Text lines of `text`, without their line ends.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool EndsWithNoCase(std::string_view text, std::string_view end) {
  if (text.size() < end.size()) return false;
  text = text.substr(text.size() - end.size());
  for (std::size_t i = 0; i < end.size(); ++i) {
    const char a = (text[i] >= 'A' && text[i] <= 'Z') ? char(text[i] - 'A' + 'a') : text[i];
    if (a != end[i]) return false;
  }
  return true;
}

void AddDatabaseRows(const DatabaseStatus& status, std::vector<StatusRow>& rows) {
  const DatabaseSettings& settings = status.settings;
  if (!settings.read) {
    rows.push_back({kSettingsLabel, kNoSettingsText, RowTone::kBad});
    return;
  }
  rows.push_back({kKindLabel, KindName(settings.kind)});
  switch (settings.kind) {
    case DatabaseKind::Sqlite:
      rows.push_back({kFileLabel, settings.place});
      break;
    case DatabaseKind::OdbcDsn:
      rows.push_back({kDataSourceLabel, settings.place});
      break;
    case DatabaseKind::SqlServer:
      rows.push_back({kServerLabel, settings.place});
      rows.push_back({kCatalogueLabel, settings.catalogue});
      break;
  }
  if (settings.kind != DatabaseKind::Sqlite) {
    rows.push_back({kLoginLabel, settings.integratedSecurity ? std::string(kIntegratedLoginText)
                                                             : settings.user});
  }
  if (!settings.branchCode.empty()) rows.push_back({kBranchLabel, settings.branchCode});
  rows.push_back({kConnectionLabel,
                  WithSince(status.connected ? kConnectedText : kDisconnectedText, status.since),
                  status.connected ? RowTone::kGood : RowTone::kBad});
  if (status.lastError.empty()) {
    rows.push_back({kLastErrorLabel, kNoneText});
  } else {
    std::string error = status.lastError;
    if (status.lastErrorAt) error = SolarMomentText(*status.lastErrorAt) + " " + error;
    rows.push_back({kLastErrorLabel, error});
  }
  std::string waiting = std::to_string(status.waiting.count);
  if (status.waiting.count > 0) {
    waiting += std::string(" (") + kLongestWaitText + " " +
               std::to_string(status.waiting.longestMs / 1000) + ")";
  }
  rows.push_back({kWaitingLabel, waiting,
                  status.waiting.longestMs > kCallLateMs ? RowTone::kBad : RowTone::kPlain});
  rows.push_back({kJournalLabel, std::to_string(status.journalPending)});
  rows.push_back({kSetAsideLabel, std::to_string(status.setAside) + " - " + status.setAsideFile,
                  status.setAside > 0 ? RowTone::kBad : RowTone::kPlain});
}

void AddDeviceRows(const DeviceStatus& status, std::vector<StatusRow>& rows) {
  const std::string version = DriverVersionText(status.infoText);
  rows.push_back({kDriverVersionLabel, version.empty() ? std::string(kNoneText) : version});
  const bool allThere = status.connected >= status.highest;
  rows.push_back({kDeviceCountLabel,
                  std::to_string(status.connected) + "/" + std::to_string(status.highest),
                  allThere ? RowTone::kGood : RowTone::kBad});
  for (const DeviceLine& line : DeviceLinesOf(status.infoText)) {
    rows.push_back({line.label, line.connected ? kConnectedText : kDisconnectedText,
                    line.connected ? RowTone::kGood : RowTone::kBad});
  }
  std::string last = status.lastStatus.empty() ? std::string(kNoneText) : status.lastStatus;
  if (status.lastStatusAt && !status.lastStatus.empty()) {
    last = SolarMomentText(*status.lastStatusAt) + " " + last;
  }
  rows.push_back({kLastStatusLabel, last});
}

CallRow RowOf(const RecentCall& call) {
  CallRow row;
  row.time = SolarMomentText(call.moment);
  row.line = call.line;
  row.number = call.number;
  switch (call.state) {
    case RecentCallState::kWritten:
      row.state = kWrittenText;
      row.tone = RowTone::kGood;
      break;
    case RecentCallState::kWaiting:
      row.state = kWaitingText;
      break;
    case RecentCallState::kSetAside:
      row.state = kSetAsideText;
      row.tone = RowTone::kBad;
      break;
  }
  if (call.recovered) row.state += std::string(" (") + kRecoveredText + ")";
  return row;
}

}  // namespace

std::string SolarMomentText(const LocalDateTime& moment) {
  if (!IsRealMoment(moment)) return "--/--/-- --:--:--";
  const SolarDate date = ToSolarDate(moment);
  return date.year + "/" + date.month + "/" + date.day + " " + date.time;
}

std::string DriverVersionText(std::string_view infoText) {
  const std::vector<std::string_view> lines = Lines(infoText);
  for (std::string_view line : lines) {
    if (line.size() > 4 && (line.substr(0, 4) == "VER " || line.substr(0, 4) == "ver " ||
                            line.substr(0, 4) == "Ver ")) {
      return std::string(line.substr(4));
    }
  }
  return {};
}

std::vector<DeviceLine> DeviceLinesOf(std::string_view infoText) {
  std::vector<DeviceLine> devices;
  const std::vector<std::string_view> lines = Lines(infoText);
  // The device lines begin with the fifth, after the product, the version, the ports and the
  // heading; each ends in its state.
  for (std::size_t i = 4; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (line.empty()) continue;
    DeviceLine device;
    device.connected = EndsWithNoCase(line, "connected") && !EndsWithNoCase(line, "disconnected");
    const std::size_t colon = line.rfind(':');
    device.label = std::string(colon == std::string_view::npos ? line : line.substr(0, colon));
    devices.push_back(std::move(device));
  }
  return devices;
}

StatusView BuildStatusView(const StatusSnapshot& snapshot) {
  StatusView view;
  view.title = std::string(kStatusMenuText) + " - " + kApplicationTitle;
  view.databaseHeading = kDatabaseHeading;
  AddDatabaseRows(snapshot.database, view.database);
  view.devicesHeading = kDevicesHeading;
  AddDeviceRows(snapshot.devices, view.devices);
  view.callsHeading = kCallsHeading;
  view.callColumns = {kTimeColumn, kLineColumn, kNumberColumn, kStateColumn};
  for (const RecentCall& call : snapshot.recent) view.calls.push_back(RowOf(call));
  view.noCallsText = kNoCallsText;
  view.reportButton = kSupportReportButtonText;
  return view;
}

std::string ReportWrittenText(const std::string& path) {
  return std::string(kReportWrittenText) + "\n" + path;
}

std::string ReportFailedText(const std::string& path, const std::string& reason) {
  return std::string(kReportFailedText) + "\n" + path + "\n" + reason;
}

std::string ReportNotCopiedText(const std::string& path, const std::string& reason) {
  std::string text = std::string(kReportNotCopiedText) + "\n" + path;
  if (!reason.empty()) text += "\n" + reason;
  return text;
}

}  // namespace qelto
