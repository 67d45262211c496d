#include "drivers/posix/raw_log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <system_error>
#include <utility>

#include "drivers/posix/plain_file.h"

namespace qelto::cidr {
namespace {

// A regular file only, opened without waiting: a FIFO at its name would hold the driver's lock
// until someone read it, and a symbolic link could send callers' numbers into another file.
UniqueFd OpenForAppending(const std::string& path) {
  return UniqueFd(OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT, 0600));
}

// The local time as "2026-03-21 14:05:07.123".
std::string LocalStamp() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char text[40];
  const std::size_t length = std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(text + length, sizeof(text) - length, ".%03ld", now.tv_nsec / 1'000'000L);
  return text;
}

}  // namespace

std::unique_ptr<RawLogFile> RawLogFile::Open(const std::string& path, std::string& error) {
  UniqueFd fd = OpenForAppending(path);
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
    const int why = errno;
    error = path + ": " + NotARegularFile(path, why);
    return nullptr;
  }
  return std::unique_ptr<RawLogFile>(
      new RawLogFile(std::move(fd), path, static_cast<std::uint64_t>(info.st_size)));
}

RawLogFile::RawLogFile(UniqueFd fd, std::string path, std::uint64_t size)
    : fd_(std::move(fd)), path_(std::move(path)), size_(size) {}

void RawLogFile::Write(std::int32_t line, RawDirection direction, std::string_view bytes) {
  const std::string record = FormatRawRecord(LocalStamp(), line, direction, bytes);
  std::lock_guard lock(mutex_);
  if (size_ > kRawLogLimit) RotateLocked();
  if (!fd_.valid()) fd_ = OpenForAppending(path_);  // the file was removed or could not be made
  if (!fd_.valid()) return;
  std::string_view rest = record;
  while (!rest.empty()) {
    const ssize_t written = ::write(fd_.get(), rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(written));
    size_ += static_cast<std::uint64_t>(written);
  }
}

void RawLogFile::RotateLocked() {
  ::rename(path_.c_str(), (path_ + ".1").c_str());
  fd_ = OpenForAppending(path_);
  size_ = 0;
}

}  // namespace qelto::cidr
