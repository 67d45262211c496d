#pragma once

#include <string>
#include <string_view>

#include "recording/database_factory.h"
#include "recording/settings_source.h"

namespace qelto {

// The settings file's name; it lies in the executable's folder.
inline constexpr const char* kSettingsFileName = "Server_Config.dll";

// The settings file's text in UTF-8, whatever the editor saved it in. A byte-order mark decides:
// UTF-8, or UTF-16 little- or big-endian (Notepad's "Unicode" and "Unicode big endian"); the
// mark itself is dropped, and an odd last byte of UTF-16 too. Without a mark the text is taken
// as the system's ANSI code page (1256 on a Persian Windows), which older editors save in, unless
// it is valid UTF-8 with at least one character beyond ASCII (what newer editors save).
std::string SettingsTextAsUtf8(std::string_view bytes);

// The settings file "Server_Config.dll" in the given folder (UTF-8), read as SettingsTextAsUtf8
// says.
class SettingsFile : public SettingsSource {
 public:
  explicit SettingsFile(std::string folder);
  // The folder as Windows reports it, its separator, then "\Server_Config.dll": a doubled
  // backslash, which the file system reads as one, as the path always appeared in shops' logs.
  std::string Path() const override;
  bool Read(std::string& content, std::string& osError) override;

 private:
  std::string folder_;
};

// Databases for this platform: SQLite files (relative paths taken from `baseFolder`, the
// working folder, as on Linux for settings outside the program's folder), ODBC data sources, and
// SQL Server through the newest of Microsoft's SQL Server ODBC drivers on the PC.
class PlatformDatabaseFactory : public DatabaseFactory {
 public:
  explicit PlatformDatabaseFactory(std::string baseFolder);
  std::unique_ptr<Database> Create(const ServerConfig& config) override;

 private:
  std::string baseFolder_;
};

}  // namespace qelto
