#include "app/posix/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "common/texts.h"

namespace qelto {

InstanceLock::InstanceLock(std::string path) : path_(std::move(path)) {}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::string InstanceLock::DefaultPath() {
  const std::string name = std::string(kInstanceName) + ".lock";
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
    return std::string(runtime) + "/" + name;
  }
  // The temporary folder is shared by all users: one guard per user, like one per session.
  std::error_code error;
  std::filesystem::path tmp = std::filesystem::temp_directory_path(error);
  if (error) tmp = "/tmp";
  return (tmp / (std::string(kInstanceName) + "-" + std::to_string(::getuid()) + ".lock")).string();
}

bool InstanceLock::Acquire() {
  if (fd_ < 0) fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return true;  // no guard possible; run without it
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  return errno != EWOULDBLOCK;
}

}  // namespace qelto
