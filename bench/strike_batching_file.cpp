#include "bench/strike_batching_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace qelto::bench {

StrikeBatchingFile::StrikeBatchingFile(std::string path) : path_(std::move(path)) {}

StrikeBatchingFile::~StrikeBatchingFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool StrikeBatchingFile::OpenOnce() {
  if (fd_ < 0) fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  return fd_ >= 0;
}

bool StrikeBatchingFile::Append(std::string_view record) {
  std::lock_guard guard(lock_);
  if (!OpenOnce()) return false;
  while (!record.empty()) {
    const ssize_t written = ::write(fd_, record.data(), record.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    record.remove_prefix(static_cast<std::size_t>(written));
  }
  return batching_ || ::fdatasync(fd_) == 0;
}

void StrikeBatchingFile::BeginBatch() {
  std::lock_guard guard(lock_);
  batching_ = true;
}

bool StrikeBatchingFile::EndBatch() {
  std::lock_guard guard(lock_);
  batching_ = false;
  return fd_ < 0 || ::fdatasync(fd_) == 0;
}

}  // namespace qelto::bench
