#include "recording/server_config.h"

#include <optional>
#include <utility>
#include <vector>

#include "recording/connection_string_value.h"
#include "recording/sql_literal.h"
#include "recording/text_lines.h"

namespace qelto {
namespace {

// 0-based line indexes.
constexpr std::size_t kServerLine = 1;
constexpr std::size_t kDatabaseLine = 2;
constexpr std::size_t kAuthenticationLine = 3;
constexpr std::size_t kUserLine = 4;
constexpr std::size_t kPasswordLine = 5;
constexpr std::size_t kBranchLine = 9;

bool SelectsLogin(std::string_view authenticationLine) {
  return authenticationLine == "1";
}

// The lines are needed in this order: database, server, authentication switch, password (login
// only), user. The first of them that is missing is the one reported.
std::optional<std::size_t> FirstMissingLine(const std::vector<std::string>& lines) {
  if (lines.size() <= kDatabaseLine) return kDatabaseLine;
  if (lines.size() <= kAuthenticationLine) return kAuthenticationLine;
  if (SelectsLogin(lines[kAuthenticationLine]) && lines.size() <= kPasswordLine) {
    return kPasswordLine;
  }
  if (lines.size() <= kUserLine) return kUserLine;
  return std::nullopt;
}

std::string IndexOutOfBoundsMessage(std::size_t index) {
  return "List index out of bounds (" + std::to_string(index) + ")";
}

void SetBranchCode(ServerConfig& config, std::string branchCode) {
  config.BranchCodeText = std::move(branchCode);
  if (config.BranchCodeText.empty()) return;
  config.BranchColumnText = ", BranchCode";
  config.BranchValueText = ", " + SqlLiteral(config.BranchCodeText);
}

std::string AuthenticationPart(const ServerConfig& config) {
  if (config.integratedSecurity) return "Integrated Security=SSPI;Persist Security Info=False;";
  if (config.password.empty()) return "Persist Security Info=False;";
  return "Password=" + ConnectionStringValue(config.password) + ";Persist Security Info=True;";
}

std::string BuildConnectionString(const ServerConfig& config) {
  return "Provider=SQLOLEDB.1;" + AuthenticationPart(config) +
         "User ID=" + ConnectionStringValue(config.user) + ";" +
         "Initial Catalog=" + ConnectionStringValue(config.database) + ";" +
         "Data Source=" + ConnectionStringValue(config.server);
}

}  // namespace

ServerConfig ParseServerConfig(std::string_view fileBytes, std::string_view path) {
  ServerConfig config;
  config.path = std::string(path);
  const std::vector<std::string> lines = SplitTextLines(fileBytes);
  if (const auto missing = FirstMissingLine(lines)) {
    config.error = IndexOutOfBoundsMessage(*missing);
    return config;
  }
  SetBranchCode(config, lines.size() > kBranchLine ? lines[kBranchLine] : std::string());
  config.server = lines[kServerLine];
  config.database = lines[kDatabaseLine];
  config.integratedSecurity = !SelectsLogin(lines[kAuthenticationLine]);
  config.user = lines[kUserLine];
  if (!config.integratedSecurity) config.password = lines[kPasswordLine];
  config.connectionString = BuildConnectionString(config);
  config.ok = true;
  return config;
}

std::string CannotOpenFileMessage(std::string_view path, std::string_view osErrorText) {
  std::string message = "Cannot open file \"";
  message += path;
  message += "\". ";
  message += osErrorText;
  return message;
}

}  // namespace qelto
