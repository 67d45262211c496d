#include "ui/support_report.h"

#include <array>
#include <cstdio>

#include "ui/status_view.h"

namespace qelto {
namespace {

constexpr const char* kMask = "****";
// Keys whose values are secrets, matched anywhere in a key of any letter case.
constexpr std::array<std::string_view, 6> kSecretWords = {"secret", "password", "pass",
                                                          "pwd",    "token",    "key"};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool NamesSecret(std::string_view key) {
  const std::string lower = Lower(key);
  for (std::string_view word : kSecretWords) {
    if (lower.find(word) != std::string::npos) return true;
  }
  return false;
}

// One line of POS_CIDR.conf, with its line end, masked when its key names a secret. A comment
// may be a setting put aside, so its key counts too.
std::string MaskLine(std::string_view line) {
  std::size_t start = line.find_first_not_of(" \t#;");
  if (start == std::string_view::npos) return std::string(line);
  const std::size_t equals = line.find('=', start);
  if (equals == std::string_view::npos || !NamesSecret(line.substr(start, equals - start))) {
    return std::string(line);
  }
  std::size_t end = line.size();
  while (end > equals + 1 && (line[end - 1] == '\n' || line[end - 1] == '\r')) --end;
  return std::string(line.substr(0, equals + 1)) + " " + kMask + std::string(line.substr(end));
}

void Line(std::string& out, std::string_view text) {
  out += text;
  out += "\r\n";
}

void Field(std::string& out, std::string_view label, std::string_view value) {
  out += label;
  out += ": ";
  out += value;
  out += "\r\n";
}

void Heading(std::string& out, std::string_view heading) {
  out += "\r\n== ";
  out += heading;
  out += " ==\r\n";
}

// The text as the report's lines: CR LF ends, a last line ended too.
void Block(std::string& out, std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    Line(out, line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

void Rows(std::string& out, const std::vector<StatusRow>& rows) {
  for (const StatusRow& row : rows) Field(out, row.label, row.value);
}

std::string GregorianText(const LocalDateTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

const char* KindKey(DatabaseKind kind) {
  switch (kind) {
    case DatabaseKind::Sqlite:
      return "sqlite";
    case DatabaseKind::OdbcDsn:
      return "odbc";
    case DatabaseKind::SqlServer:
      break;
  }
  return "sqlserver";
}

}  // namespace

std::string MaskDriverConf(std::string_view conf) {
  std::string out;
  while (!conf.empty()) {
    const std::size_t end = conf.find('\n');
    const std::size_t length = end == std::string_view::npos ? conf.size() : end + 1;
    out += MaskLine(conf.substr(0, length));
    conf.remove_prefix(length);
  }
  return out;
}

std::string_view LastLines(std::string_view text, std::size_t count) {
  if (count == 0) return text.substr(text.size());
  std::size_t pos = text.size();
  if (pos > 0 && text[pos - 1] == '\n') --pos;  // the last line's own end
  while (pos > 0) {
    const std::size_t end = text.rfind('\n', pos - 1);
    if (end == std::string_view::npos) break;
    if (--count == 0) return text.substr(end + 1);
    pos = end;
  }
  return text;
}

std::string BuildSupportReport(const SupportFacts& facts, const StatusSnapshot& snapshot) {
  const StatusView view = BuildStatusView(snapshot);
  const DatabaseSettings& settings = snapshot.database.settings;
  std::string out;
  Line(out, "QELTO Caller ID - support report");
  // The log's dates are Gregorian, the window's Solar: both, to match the one with the other.
  Field(out, "Taken",
        GregorianText(snapshot.taken) + " (Solar " + SolarMomentText(snapshot.taken) + ")");
  Field(out, "Version", facts.version);
  Field(out, "Build", facts.build);
  Field(out, "System", facts.system);
  Field(out, "Working folder", facts.workingFolder);
  Field(out, "Driver", facts.driverPath);

  Heading(out, "Settings (without the password)");
  if (!settings.read) {
    Line(out, "not read");
  } else {
    Field(out, "Settings file", settings.settingsPath);
    Field(out, "Kind", KindKey(settings.kind));
    Field(out, "Place", settings.place);
    Field(out, "Catalogue", settings.catalogue);
    Field(out, "Login", settings.integratedSecurity ? "integrated" : "user and password");
    Field(out, "User", settings.user);
    Field(out, "Branch code", settings.branchCode);
  }

  Heading(out, view.databaseHeading);
  Rows(out, view.database);
  Heading(out, view.devicesHeading);
  Rows(out, view.devices);
  Line(out, "Information text:");
  Block(out, snapshot.devices.infoText);

  Heading(out, view.callsHeading);
  for (const CallRow& call : view.calls) {
    Line(out, call.time + " | " + call.line + " | " + call.number + " | " + call.state);
  }

  Heading(out, "POS_CIDR.conf (secrets masked)");
  if (facts.driverConfPath.empty()) {
    Line(out, "none");
  } else {
    Field(out, "File", facts.driverConfPath);
    Block(out, MaskDriverConf(facts.driverConf));
  }

  Heading(out, "log.txt, last " + std::to_string(kReportLogLines) + " lines");
  Block(out, LastLines(facts.logText, kReportLogLines));
  return out;
}

}  // namespace qelto
