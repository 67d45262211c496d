#pragma once

#include <string>

#include "app/instance_guard.h"

namespace qelto {

// The single-instance guard on Linux: an exclusive flock on a file named after the instance name
// in the user's runtime folder ($XDG_RUNTIME_DIR, else the temporary folder). The kernel drops
// the lock when the process ends, however it ends, so a crash leaves no stale guard.
class InstanceLock : public InstanceGuard {
 public:
  explicit InstanceLock(std::string path);
  ~InstanceLock() override;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Where the lock file of this user's session lies.
  static std::string DefaultPath();

  bool Acquire() override;
  // After a refused Acquire: who holds the lock, as "process 1234 (qelto-callerid)"; empty when
  // the system does not tell.
  std::string Holder() const;

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace qelto
