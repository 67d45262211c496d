#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "recording/database_factory.h"
#include "recording/settings_source.h"

namespace qelto {

// The settings file's name, in each of the places it is looked for.
inline constexpr const char* kSettingsFileName = "Server_Config.dll";

// One place the settings file may lie.
struct SettingsPlace {
  std::string path;
  // A relative SQLite path in this file is taken from the file's own folder (a recorder copied
  // with its settings into one folder). Otherwise from the working folder: configuration folders
  // hold settings, not the calls, and the system-wide one is not writable by the shop's user.
  bool dataBesideFile = false;

  friend bool operator==(const SettingsPlace&, const SettingsPlace&) = default;
};

// Where the settings are looked for, in order: beside the executable; the user's configuration
// folder ($XDG_CONFIG_HOME, or ~/.config when that is unset, empty or relative, left out when
// neither is known); then the system-wide folder. Empty folders are left out.
std::vector<SettingsPlace> SettingsPlaces(const std::string& executableDirectory,
                                          const char* xdgConfigHome, const char* home,
                                          const std::string& systemDirectory);

// The first settings file that exists among `places`. A file that exists but cannot be read
// (no rights, a folder of that name) is the one chosen, and fails: settings elsewhere must not
// quietly take the place of the ones the shop made. Which file was read, or every place looked
// in when there is none, is written to `notes` (standard error).
class SettingsFile : public SettingsSource {
 public:
  SettingsFile(std::vector<SettingsPlace> places, std::ostream& notes);
  // The file chosen by Read; before it, or when none exists, the first place.
  std::string Path() const override;
  bool Read(std::string& content, std::string& osError) override;
  bool ReadableByOthers() const override;
  // The folder a relative SQLite path is taken from, after Read.
  std::string DataFolder() const;

 private:
  std::vector<SettingsPlace> places_;
  std::ostream& notes_;
  SettingsPlace chosen_;
  bool readableByOthers_ = false;
};

// Databases for this platform: SQLite files (relative paths taken from the settings' DataFolder),
// ODBC data sources, and SQL Server through FreeTDS.
class PlatformDatabaseFactory : public DatabaseFactory {
 public:
  explicit PlatformDatabaseFactory(const SettingsFile& settings);
  std::unique_ptr<Database> Create(const ServerConfig& config) override;

 private:
  const SettingsFile& settings_;
};

}  // namespace qelto
