#include "recording/posix/posix_durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <utility>

#include "recording/posix/regular_file.h"

namespace qelto {
namespace {

constexpr mode_t kJournalMode = 0600;  // caller numbers are customers' data

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void SyncFolderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

PosixDurableFile::PosixDurableFile(const std::string& path)
    : path_(std::filesystem::absolute(path).lexically_normal().string()) {}

PosixDurableFile::~PosixDurableFile() {
  CloseFile();
}

void PosixDurableFile::CloseFile() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool PosixDurableFile::OpenForAppend() {
  if (fd_ < 0) fd_ = OpenRegularFile(path_, O_WRONLY | O_APPEND | O_CREAT, kJournalMode);
  return fd_ >= 0;
}

// A record cut short by a full disk is cut off again, so that the next one does not stick to it.
bool PosixDurableFile::AppendWhole(std::string_view record) {
  if (!OpenForAppend()) return false;
  const off_t before = ::lseek(fd_, 0, SEEK_END);
  if (WriteAll(fd_, record)) return true;
  if (before >= 0 && ::ftruncate(fd_, before) != 0) {
    // Nothing more to do here: the journal starts its next record on a new line.
  }
  return false;
}

bool PosixDurableFile::Append(std::string_view record) {
  std::lock_guard guard(lock_);
  return AppendWhole(record) && ::fdatasync(fd_) == 0;
}

bool PosixDurableFile::AppendUnsynced(std::string_view record) {
  std::lock_guard guard(lock_);
  return AppendWhole(record);
}

bool PosixDurableFile::Intact() {
  std::lock_guard guard(lock_);
  if (fd_ < 0) return true;
  struct stat open {};
  struct stat named {};
  // lstat: a symbolic link put in the file's place is no longer the file.
  if (::fstat(fd_, &open) != 0 || ::lstat(path_.c_str(), &named) != 0) return false;
  return open.st_dev == named.st_dev && open.st_ino == named.st_ino && open.st_nlink > 0;
}

bool PosixDurableFile::Sync() {
  std::lock_guard guard(lock_);
  return fd_ < 0 || ::fdatasync(fd_) == 0;
}

std::optional<std::string> PosixDurableFile::ReadAll() {
  std::lock_guard guard(lock_);
  const int fd = OpenRegularFile(path_, O_RDONLY);
  if (fd < 0) return errno == ENOENT ? std::optional<std::string>("") : std::nullopt;
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return content;
}

// The replacement is always a new file of our own: whatever a crash or someone else left at its
// name (a FIFO too) is removed first, and O_EXCL refuses what could not be.
bool PosixDurableFile::WriteReplacement(const std::string& temporary, std::string_view content) {
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL;
  ::unlink(temporary.c_str());
  int fd = OpenRegularFile(temporary, kFlags, kJournalMode);
  if (fd < 0 && errno == ENOENT) {  // the folder was deleted: make it again
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
    fd = OpenRegularFile(temporary, kFlags, kJournalMode);
  }
  if (fd < 0) return false;
  const bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
  ::close(fd);
  return written;
}

bool PosixDurableFile::Replace(std::string_view content) {
  std::lock_guard guard(lock_);
  const std::string temporary = path_ + ".new";
  if (!WriteReplacement(temporary, content) || ::rename(temporary.c_str(), path_.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolderOf(path_);
  CloseFile();  // later appends go to the new file
  return true;
}

}  // namespace qelto
