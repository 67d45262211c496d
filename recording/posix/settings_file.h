#pragma once

#include <string>

#include "recording/database_factory.h"
#include "recording/settings_source.h"

namespace qelto {

// The settings file's name; it lies in the executable's folder.
inline constexpr const char* kSettingsFileName = "Server_Config.dll";

// The settings file "Server_Config.dll" in the given folder.
class SettingsFile : public SettingsSource {
 public:
  explicit SettingsFile(std::string folder);
  std::string Path() const override;
  bool Read(std::string& content, std::string& osError) override;

 private:
  std::string folder_;
};

// Databases for this platform: SQLite files (relative paths taken from `baseFolder`, the
// settings file's folder), ODBC data sources, and SQL Server through FreeTDS.
class PlatformDatabaseFactory : public DatabaseFactory {
 public:
  explicit PlatformDatabaseFactory(std::string baseFolder);
  std::unique_ptr<Database> Create(const ServerConfig& config) override;

 private:
  std::string baseFolder_;
};

}  // namespace qelto
