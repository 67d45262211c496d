#include "recording/posix/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace qelto {

int OpenRegularFile(const std::string& path, int flags, mode_t mode) {
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  // Only there so that the open itself cannot wait; reads and writes keep their usual meaning.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

std::string NonRegularKind(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return {};
  if (S_ISLNK(info.st_mode)) return "a symbolic link";
  if (S_ISFIFO(info.st_mode)) return "a FIFO";
  if (S_ISDIR(info.st_mode)) return "a folder";
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "a device";
  if (S_ISSOCK(info.st_mode)) return "a socket";
  return "no regular file";
}

std::string RefuseNonRegularFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (const std::string kind = NonRegularKind(path); !kind.empty()) {
      std::error_code ignored;
      return "Error: " + std::filesystem::absolute(path, ignored).string() + " is " + kind +
             ", not a regular file: the recorder does not start, since it could not keep the "
             "calls it takes; move it away and start again";
    }
  }
  return {};
}

}  // namespace qelto
