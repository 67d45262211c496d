#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace qelto::cidr {

// A security descriptor that lets the current user, and nobody else, use a named pipe.
class UserOnlySecurity {
 public:
  // For the user with the security identifier `user_sid` ("S-1-5-21-..."); an empty descriptor
  // (see valid()) when it cannot be made.
  explicit UserOnlySecurity(const std::string& user_sid);

  bool valid() const { return descriptor_ != nullptr; }
  // Attributes for CreateNamedPipe, not inherited by child processes.
  SECURITY_ATTRIBUTES Attributes() const {
    return SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), descriptor_.get(), FALSE};
  }

 private:
  struct LocalFreeDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
  };
  std::unique_ptr<void, LocalFreeDeleter> descriptor_;
};

}  // namespace qelto::cidr
