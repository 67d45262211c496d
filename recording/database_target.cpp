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

std::string FreeTdsConnectionString(const DatabaseTarget& target) {
  std::string text = "DRIVER={FreeTDS};" + Attribute("SERVER", target.server);
  if (!target.database.empty()) text += Attribute("DATABASE", target.database);
  text += target.integratedSecurity ? "Trusted_Connection=Yes;" : CredentialAttributes(target);
  // A fixed protocol version: with "auto" FreeTDS retries the login with one version after
  // another and a server that accepts the connection but never answers holds it for good, past
  // any login time-out. 7.3 is spoken by SQL Server 2008 and every later release.
  text += "TDS_Version=7.3;ClientCharset=UTF-8;";
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
  target.server = FreeTdsServerName(config.server);
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

std::string OdbcConnectionString(const DatabaseTarget& target) {
  switch (target.kind) {
    case DatabaseKind::Sqlite:
      return std::string();
    case DatabaseKind::OdbcDsn:
      return DsnConnectionString(target);
    case DatabaseKind::SqlServer:
      return FreeTdsConnectionString(target);
  }
  return std::string();
}

SqlDialect DialectOf(DatabaseKind kind) {
  return kind == DatabaseKind::SqlServer ? SqlDialect::SqlServer : SqlDialect::Standard;
}

}  // namespace qelto
