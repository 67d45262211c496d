#include "app/posix/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

#include "common/texts.h"
#include "recording/posix/regular_file.h"

namespace qelto {
namespace {

// The process holding a flock on the file `info` describes, from the kernel's list of locks; 0
// when it cannot be told (no /proc, or the holder ended meanwhile).
long FlockHolder(const struct stat& info) {
  char file[64];
  std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(info.st_dev), minor(info.st_dev),
                static_cast<unsigned long long>(info.st_ino));
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, where;
    // Waiting requests are listed as "N: -> FLOCK ...": the first word after the number differs.
    if (fields >> number >> kind >> mode >> access >> pid >> where && kind == "FLOCK" &&
        where == file) {
      return std::strtol(pid.c_str(), nullptr, 10);
    }
  }
  return 0;
}

std::string ProcessName(long pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

}  // namespace

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
  // Never a FIFO or a link planted at the lock's name: opening one could wait for ever.
  if (fd_ < 0) fd_ = OpenRegularFile(path_, O_RDWR | O_CREAT, 0600);
  if (fd_ < 0) return true;  // no guard possible; run without it
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  return errno != EWOULDBLOCK;
}

std::string InstanceLock::Holder() const {
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return {};
  const long pid = FlockHolder(info);
  if (pid <= 0) return {};
  const std::string name = ProcessName(pid);
  return "process " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
}

}  // namespace qelto
