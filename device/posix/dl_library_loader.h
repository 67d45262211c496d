#pragma once

#include <string>

#include "device/library_loader.h"

namespace qelto {

// Loads "libPOS_CIDR.so" with dlopen: first from `preferredDirectory` (the recorder's own folder),
// then by the dynamic loader's ordinary search (LD_LIBRARY_PATH, the cache, the system folders).
class DlLibraryLoader : public LibraryLoader {
 public:
  static constexpr const char* kLibraryName = "libPOS_CIDR.so";

  explicit DlLibraryLoader(std::string preferredDirectory);
  std::unique_ptr<DriverLibrary> Load() override;

  // Why the last load failed, as the dynamic loader put it; empty after a success.
  const std::string& LastError() const { return lastError_; }

 private:
  std::string preferredDirectory_;
  std::string lastError_;
};

}  // namespace qelto
