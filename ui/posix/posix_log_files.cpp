#include "ui/posix/posix_log_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qelto {
namespace {

constexpr mode_t kLogMode = 0644;

class PosixLogFile : public LogFile {
 public:
  explicit PosixLogFile(int fd) : fd_(fd) {}
  ~PosixLogFile() override { ::close(fd_); }
  PosixLogFile(const PosixLogFile&) = delete;
  PosixLogFile& operator=(const PosixLogFile&) = delete;

  bool Append(std::string_view bytes) override {
    // A regular file takes the whole buffer in one write unless the disk is full; a short write
    // is not continued, since a second write could interleave with another thread's line.
    ssize_t written;
    do {
      written = ::write(fd_, bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(bytes.size());
  }

 private:
  int fd_;
};

}  // namespace

std::int64_t PosixLogFiles::FileSizeOf(const std::string& name) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

bool PosixLogFiles::CreateEmpty(const std::string& name) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kLogMode);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::unique_ptr<LogFile> PosixLogFiles::OpenForAppend(const std::string& name) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixLogFile>(fd);
}

}  // namespace qelto
