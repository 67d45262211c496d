#pragma once

#include "app/instance_guard.h"

namespace qelto {

// The single-instance guard on Windows: the named mutex "Vandrel CallerID", created with initial
// ownership. Windows closes the handle when the process ends, however it ends, so a crash leaves
// no stale guard.
class InstanceMutex : public InstanceGuard {
 public:
  InstanceMutex() = default;
  ~InstanceMutex() override;
  InstanceMutex(const InstanceMutex&) = delete;
  InstanceMutex& operator=(const InstanceMutex&) = delete;

  // False only when the mutex existed already (ERROR_ALREADY_EXISTS); a mutex that cannot be
  // created at all lets the recorder run without the guard.
  bool Acquire() override;

 private:
  void* handle_ = nullptr;  // HANDLE, kept out of this header so that <windows.h> stays in the .cpp
};

}  // namespace qelto
