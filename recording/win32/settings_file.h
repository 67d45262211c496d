#pragma once

#include <string>

#include "recording/database_factory.h"
#include "recording/settings_source.h"

namespace qelto {

// The settings file's name; it lies in the executable's folder.
inline constexpr const char* kSettingsFileName = "Server_Config.dll";

// The settings file "Server_Config.dll" in the given folder (UTF-8). Its text is taken as UTF-8
// when it is valid UTF-8 (plain ASCII, or what newer editors save), else as the system's ANSI
// code page, which older editors save in.
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
// settings file's folder), ODBC data sources, and SQL Server through the newest of Microsoft's
// SQL Server ODBC drivers on the PC.
class PlatformDatabaseFactory : public DatabaseFactory {
 public:
  explicit PlatformDatabaseFactory(std::string baseFolder);
  std::unique_ptr<Database> Create(const ServerConfig& config) override;

 private:
  std::string baseFolder_;
};

}  // namespace qelto
