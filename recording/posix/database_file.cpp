#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "recording/sqlite/database_file.h"

namespace qelto {

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                      static_cast<std::uint64_t>(status.st_ino)};
}

bool OpenFilesCanBeReplaced() {
  return true;
}

void RemoveSameFile(const std::string& path, const FileIdentity& identity) {
  if (IdentifyFile(path) == identity) unlink(path.c_str());
}

void CreateOwnerOnlyFile(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) close(fd);
}

}  // namespace qelto
