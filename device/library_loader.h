#pragma once

#include <memory>

namespace qelto {

// A loaded driver library. Destroying it must not unload the code: the driver's own threads may
// still be running inside it when the recorder ends.
class DriverLibrary {
 public:
  virtual ~DriverLibrary() = default;
  // Address of the exported name, or null when the library does not export it.
  virtual void* Symbol(const char* name) const = 0;
};

// Finds and loads the caller-ID driver library by its platform name.
class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  // The loaded library, or null when none could be loaded.
  virtual std::unique_ptr<DriverLibrary> Load() = 0;
};

}  // namespace qelto
