#include "recording/database_target.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace qelto {
namespace {

constexpr std::string_view kSqlitePrefix = "sqlite:";
constexpr std::string_view kOdbcPrefix = "odbc:";
constexpr std::string_view kTcpPrefix = "tcp:";
constexpr std::string_view kLocalHostAddress = "127.0.0.1";

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// What follows `prefix` in `text`, when `text` starts with it (in any case).
std::optional<std::string_view> AfterPrefix(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size() || !EqualsIgnoringCase(text.substr(0, prefix.size()), prefix)) {
    return std::nullopt;
  }
  return text.substr(prefix.size());
}

bool NeedsBraces(std::string_view value) {
  if (value.find_first_of(";{}") != std::string_view::npos) return true;
  return !value.empty() && (value.front() == ' ' || value.back() == ' ');
}

// "KEY=value;" with the value quoted as ODBC needs it.
std::string Attribute(std::string_view key, std::string_view value) {
  std::string attribute(key);
  attribute += '=';
  attribute += OdbcAttributeValue(value);
  attribute += ';';
  return attribute;
}

std::string CredentialAttributes(const DatabaseTarget& target) {
  std::string attributes;
  if (!target.user.empty()) attributes += Attribute("UID", target.user);
  if (!target.password.empty()) attributes += Attribute("PWD", target.password);
  return attributes;
}

std::string DsnConnectionString(const DatabaseTarget& target) {
  return Attribute("DSN", target.dsn) + CredentialAttributes(target);
}

// The number NN of "ODBC Driver NN for SQL Server", or nullopt for any other name.
std::optional<int> MicrosoftDriverVersion(std::string_view name) {
  constexpr std::string_view kHead = "ODBC Driver ";
  constexpr std::string_view kTail = " for SQL Server";
  if (name.size() <= kHead.size() + kTail.size() || name.substr(0, kHead.size()) != kHead ||
      name.substr(name.size() - kTail.size()) != kTail) {
    return std::nullopt;
  }
  const std::string_view digits =
      name.substr(kHead.size(), name.size() - kHead.size() - kTail.size());
  if (digits.size() > 4 || !std::all_of(digits.begin(), digits.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
      })) {
    return std::nullopt;
  }
  return std::stoi(std::string(digits));
}

std::string SqlServerConnectionString(const DatabaseTarget& target, std::string_view driver) {
  const bool freeTds = driver == kFreeTdsDriverName;
  std::string text =
      "DRIVER={" + std::string(driver) + "};" +
      Attribute("SERVER", freeTds ? FreeTdsServerName(target.server) : target.server);
  if (!target.database.empty()) text += Attribute("DATABASE", target.database);
  text += target.integratedSecurity ? "Trusted_Connection=Yes;" : CredentialAttributes(target);
  if (freeTds) {
    // A fixed protocol version: with "auto" FreeTDS retries the login with one version after
    // another and a server that accepts the connection but never answers holds it for good, past
    // any login time-out. 7.3 is spoken by SQL Server 2008 and every later release.
    text += "TDS_Version=7.3;ClientCharset=UTF-8;";
  } else if (MicrosoftDriverVersion(driver)) {
    // Driver 18 and later insist on an encrypted link with a certificate from an authority by
    // default; the shop's server has neither, and the old provider asked for neither.
    text += "Encrypt=No;TrustServerCertificate=Yes;";
  }
  return text;
}

}  // namespace

DatabaseTarget DatabaseTargetFor(const ServerConfig& config) {
  DatabaseTarget target;
  target.integratedSecurity = config.integratedSecurity;
  if (const auto path = AfterPrefix(config.server, kSqlitePrefix)) {
    target.kind = DatabaseKind::Sqlite;
    target.path = std::string(*path);
    return target;
  }
  target.user = config.user;
  target.password = config.integratedSecurity ? std::string() : config.password;
  if (const auto dsn = AfterPrefix(config.server, kOdbcPrefix)) {
    target.kind = DatabaseKind::OdbcDsn;
    target.dsn = std::string(*dsn);
    return target;
  }
  target.kind = DatabaseKind::SqlServer;
  target.server = config.server;
  target.database = config.database;
  return target;
}

std::string FreeTdsServerName(std::string_view dataSource) {
  if (const auto rest = AfterPrefix(dataSource, kTcpPrefix)) dataSource = *rest;
  const std::size_t hostEnd = std::min(dataSource.find_first_of("\\,"), dataSource.size());
  const std::string_view host = dataSource.substr(0, hostEnd);
  const bool local = host == "." || EqualsIgnoringCase(host, "(local)");
  return std::string(local ? kLocalHostAddress : host) + std::string(dataSource.substr(hostEnd));
}

std::string OdbcAttributeValue(std::string_view value) {
  if (!NeedsBraces(value)) return std::string(value);
  std::string quoted = "{";
  for (const char c : value) {
    quoted += c;
    if (c == '}') quoted += '}';
  }
  quoted += '}';
  return quoted;
}

std::string OdbcConnectionString(const DatabaseTarget& target, std::string_view sqlServerDriver) {
  switch (target.kind) {
    case DatabaseKind::Sqlite:
      return std::string();
    case DatabaseKind::OdbcDsn:
      return DsnConnectionString(target);
    case DatabaseKind::SqlServer:
      return SqlServerConnectionString(target, sqlServerDriver);
  }
  return std::string();
}

std::string PreferredSqlServerDriver(const std::vector<std::string>& installedDrivers) {
  std::string best(kWindowsSqlServerDriverName);
  int bestVersion = -1;
  for (const std::string& name : installedDrivers) {
    const std::optional<int> version = MicrosoftDriverVersion(name);
    if (version && *version > bestVersion) {
      best = name;
      bestVersion = *version;
    }
  }
  return best;
}

SqlDialect DialectOf(DatabaseKind kind) {
  return kind == DatabaseKind::SqlServer ? SqlDialect::SqlServer : SqlDialect::Standard;
}

}  // namespace qelto
