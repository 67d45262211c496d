#include "ui/posix/posix_log_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "recording/posix/regular_file.h"

namespace qelto {
namespace {

// Error lines carry callers' numbers: the log is for its owner only, as the call journal is.
constexpr mode_t kLogMode = 0600;

// Whether `fd` is still the file at `path`: not deleted, renamed or replaced by someone.
bool StillAt(int fd, const std::string& path) {
  struct stat open {};
  struct stat named {};
  return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

class PosixLogFile : public LogFile {
 public:
  PosixLogFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
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
    // A log deleted under us (its whole working folder, say) is read by nobody: what it says,
    // calls held in memory only among it, goes to standard error as well.
    if (!StillAt(fd_, path_)) {
      const ssize_t shown = ::write(STDERR_FILENO, bytes.data(), bytes.size());
      static_cast<void>(shown);
    }
    return written == static_cast<ssize_t>(bytes.size());
  }

 private:
  int fd_;
  std::string path_;
};

}  // namespace

std::int64_t PosixLogFiles::FileSizeOf(const std::string& name) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

bool PosixLogFiles::CreateEmpty(const std::string& name) {
  // Never a FIFO (it would hang the start) nor a link to another file (it would be emptied).
  const int fd = OpenRegularFile(name, O_WRONLY | O_CREAT | O_TRUNC, kLogMode);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::unique_ptr<LogFile> PosixLogFiles::OpenForAppend(const std::string& name) {
  const int fd = OpenRegularFile(name, O_WRONLY | O_APPEND);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixLogFile>(fd, name);
}

}  // namespace qelto
