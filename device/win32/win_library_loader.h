#pragma once

#include <string>

#include "device/library_loader.h"

namespace qelto {

// Loads "POS_CIDR.dll" with LoadLibraryEx: first from `preferredDirectory` (the recorder's own
// folder, in UTF-8), then by the name alone, which is Windows' ordinary search for a library: the
// executable's folder, the system folders, the PATH.
class WinLibraryLoader : public LibraryLoader {
 public:
  static constexpr const char* kLibraryName = "POS_CIDR.dll";

  explicit WinLibraryLoader(std::string preferredDirectory = {});
  std::unique_ptr<DriverLibrary> Load() override;

  // Why the last load failed, as Windows put it (UTF-8); empty after a success.
  const std::string& LastError() const { return lastError_; }

 private:
  std::string preferredDirectory_;
  std::string lastError_;
};

}  // namespace qelto
