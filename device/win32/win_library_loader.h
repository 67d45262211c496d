#pragma once

#include <string>

#include "device/library_loader.h"

namespace qelto {

// Loads "POS_CIDR.dll" by its full path only: first from `preferredDirectory` (the recorder's own
// folder, in UTF-8), then from the system folder. Never by the name alone: Windows' search by
// name takes the working folder and the PATH too, and the shop's working folder is writable by
// every user of the PC, so anyone could put a library there that the next logon runs. The
// libraries the driver itself needs are taken from its own folder, the recorder's and the system
// folder.
class WinLibraryLoader : public LibraryLoader {
 public:
  static constexpr const char* kLibraryName = "POS_CIDR.dll";

  explicit WinLibraryLoader(std::string preferredDirectory = {});
  std::unique_ptr<DriverLibrary> Load() override;

  // Why the last load failed, as Windows put it (UTF-8), for each path tried; empty after a
  // success.
  const std::string& LastError() const { return lastError_; }

  // For the whole process: libraries named without a path are looked for in the executable's
  // folder and the system folder only, never in the working folder or the PATH. Call first thing.
  static void RestrictLibrarySearch();

 private:
  std::string preferredDirectory_;
  std::string lastError_;
};

}  // namespace qelto
