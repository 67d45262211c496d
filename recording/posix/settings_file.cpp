#include "recording/posix/settings_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "recording/posix/open_database.h"

namespace qelto {

SettingsFile::SettingsFile(std::string folder) : folder_(std::move(folder)) {}

std::string SettingsFile::Path() const {
  return folder_ + "/" + kSettingsFileName;
}

bool SettingsFile::Read(std::string& content, std::string& osError) {
  errno = 0;
  std::ifstream in(Path(), std::ios::binary);
  if (!in) {
    osError = std::strerror(errno != 0 ? errno : ENOENT);
    return false;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) {
    osError = std::strerror(errno != 0 ? errno : EIO);
    return false;
  }
  content = bytes.str();
  return true;
}

PlatformDatabaseFactory::PlatformDatabaseFactory(std::string baseFolder)
    : baseFolder_(std::move(baseFolder)) {}

std::unique_ptr<Database> PlatformDatabaseFactory::Create(const ServerConfig& config) {
  return OpenDatabaseFor(config, baseFolder_);
}

}  // namespace qelto
