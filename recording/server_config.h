#pragma once

#include <string>
#include <string_view>

namespace qelto {

// The settings file, "Server_Config.dll" beside the executable despite its name, is plain
// single-byte text with one value per line and no keys: a line's position gives its meaning.
//
//   line 1      not used (any text)
//   line 2      server, the Data Source
//   line 3      database, the Initial Catalog
//   line 4      exactly "1": SQL Server login with user and password;
//               any other text, an empty line included: integrated security
//   line 5      login name, the User ID (entered with integrated security too)
//   line 6      password; read only when line 4 is "1"; an empty line means no password
//   lines 7-9   not used
//   line 10     branch code; empty or absent means none
//
// Lines after the tenth are ignored. A usable file has at least 5 lines, 6 when line 4 is "1".
// Values are taken exactly as written: no trimming, no case folding, no unquoting.
struct ServerConfig {
  bool ok = false;
  // Why the settings could not be used, worded as the activity log records it. Empty when `ok`.
  std::string error;
  std::string path;  // the settings file's full path, as given
  std::string connectionString;

  // The raw values, for database layers that build their own connection description.
  std::string server;
  std::string database;
  bool integratedSecurity = true;
  std::string user;
  std::string password;  // always empty with integrated security

  std::string BranchCodeText;    // line 10, or empty
  std::string BranchColumnText;  // ", BranchCode" when there is a branch code, else empty
  std::string BranchValueText;   // ", " and the branch code as SQL literal, else empty
};

// Reads the settings from the whole content of the file at `path`. File access is the caller's:
// `fileBytes` is everything that was read. A file with too few lines gives `ok` false and
// "List index out of bounds (N)", N being the 0-based index of the first missing line needed.
ServerConfig ParseServerConfig(std::string_view fileBytes, std::string_view path);

// The error text for a settings file that could not be opened or read:
// Cannot open file "<path>". <osErrorText>
std::string CannotOpenFileMessage(std::string_view path, std::string_view osErrorText);

}  // namespace qelto
