#include "app/win32/instance_mutex.h"

#include <windows.h>

#include "common/texts.h"

namespace qelto {

InstanceMutex::~InstanceMutex() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

bool InstanceMutex::Acquire() {
  if (handle_ != nullptr) return true;
  SetLastError(ERROR_SUCCESS);
  handle_ = CreateMutexA(nullptr, TRUE, kInstanceName);
  // Read at once: any later call may overwrite the last error.
  return GetLastError() != ERROR_ALREADY_EXISTS;
}

}  // namespace qelto
