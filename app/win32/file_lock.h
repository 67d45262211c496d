#pragma once

#include <string>

#include "app/instance_guard.h"

namespace qelto {

// A guard held as an open file that no other process may open while we hold it (share mode
// none). Windows closes the handle when the process ends, however it ends, so a crash leaves no
// stale guard.
class FileLock : public InstanceGuard {
 public:
  explicit FileLock(std::string path);
  ~FileLock() override;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // False only when another process holds the file; a file that cannot be made at all lets the
  // recorder run without the guard.
  bool Acquire() override;

 private:
  std::string path_;
  void* handle_ = nullptr;  // HANDLE, kept out of this header so that <windows.h> stays in the .cpp
};

}  // namespace qelto
