#pragma once

#include <string>
#include <vector>

#include "device/library_loader.h"

namespace qelto {

// The folders searched for the driver before the dynamic loader's own search, in order: the
// recorder's folder, where a vendor's driver is put beside a copied recorder; each folder of
// `ldLibraryPath` (null or empty: none), so that a driver someone points the loader at still
// wins; then `privateDirectory`, where an installed recorder keeps its own driver. Empty folders
// are left out: the loader would take them as the current folder.
std::vector<std::string> DriverSearchFolders(const std::string& executableDirectory,
                                             const char* ldLibraryPath,
                                             const std::string& privateDirectory);

// Loads "libPOS_CIDR.so" with dlopen: first from each of `preferredDirectories` in order, then by
// the dynamic loader's ordinary search (LD_LIBRARY_PATH, the cache, the system folders).
class DlLibraryLoader : public LibraryLoader {
 public:
  static constexpr const char* kLibraryName = "libPOS_CIDR.so";

  explicit DlLibraryLoader(std::vector<std::string> preferredDirectories);
  std::unique_ptr<DriverLibrary> Load() override;

  // Why the last load failed, as the dynamic loader put it for each place tried; empty after a
  // success.
  const std::string& LastError() const { return lastError_; }

 private:
  std::vector<std::string> preferredDirectories_;
  std::string lastError_;
};

}  // namespace qelto
