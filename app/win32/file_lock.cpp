#include "app/win32/file_lock.h"

#include <windows.h>

#include <utility>

namespace qelto {

FileLock::FileLock(std::string path) : path_(std::move(path)) {}

FileLock::~FileLock() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

bool FileLock::Acquire() {
  if (handle_ != nullptr) return true;
  const HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_SHARING_VIOLATION;
  handle_ = file;
  return true;
}

}  // namespace qelto
