#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

#include "drivers/pbx/reported_calls.h"
#include "drivers/posix/unique_fd.h"

namespace qelto::cidr {
namespace {

std::string ErrnoText(int error) {
  return std::generic_category().message(error);
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

class PosixDriverFile final : public DriverFile {
 public:
  explicit PosixDriverFile(UniqueFd fd) : fd_(std::move(fd)) {}

  bool Replace(std::string_view text) override {
    return ::ftruncate(fd_.get(), 0) == 0 && WriteAll(fd_.get(), text) &&
           ::fdatasync(fd_.get()) == 0;
  }
  // In the system's hands once written: a process killed or restarted (the case this file is
  // for) loses nothing. Not synced to the disk, which cost a call some 1 to 10 ms on its way.
  bool Append(std::string_view text) override { return WriteAll(fd_.get(), text); }

 private:
  UniqueFd fd_;  // opened for appending: every write goes to the end
};

}  // namespace

std::unique_ptr<DriverFile> DriverFile::Open(const std::string& path, std::size_t max_bytes,
                                             std::string& text, std::string& problem) {
  // Without waiting, and no link followed: a FIFO put there would hang the open.
  UniqueFd fd(::open(path.c_str(),
                     O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                     0600));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
    problem = ErrnoText(errno);
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    problem = "not a regular file";
    return nullptr;
  }
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  std::array<char, 16384> buffer{};
  while (text.size() <= max_bytes) {
    const ssize_t received = ::read(fd.get(), buffer.data(), buffer.size());
    if (received < 0 && errno == EINTR) continue;
    if (received < 0) {
      problem = ErrnoText(errno);
      return nullptr;
    }
    if (received == 0) break;
    text.append(buffer.data(), static_cast<std::size_t>(received));
  }
  return std::make_unique<PosixDriverFile>(std::move(fd));
}

}  // namespace qelto::cidr
