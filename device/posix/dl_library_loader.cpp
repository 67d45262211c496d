#include "device/posix/dl_library_loader.h"

#include <dlfcn.h>

#include <utility>

namespace qelto {
namespace {

// Owns one dlopen reference. The library is opened with RTLD_NODELETE, so dropping the reference
// never unmaps the driver's code while its own threads may still run in it.
class DlLibrary : public DriverLibrary {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  ~DlLibrary() override { dlclose(handle_); }
  DlLibrary(const DlLibrary&) = delete;
  DlLibrary& operator=(const DlLibrary&) = delete;

  void* Symbol(const char* name) const override { return dlsym(handle_, name); }

 private:
  void* handle_;
};

void* Open(const std::string& path, std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    const char* why = dlerror();
    if (!error.empty()) error += "; ";
    error += why != nullptr ? why : path + ": cannot be loaded";
  }
  return handle;
}

}  // namespace

DlLibraryLoader::DlLibraryLoader(std::string preferredDirectory)
    : preferredDirectory_(std::move(preferredDirectory)) {}

std::unique_ptr<DriverLibrary> DlLibraryLoader::Load() {
  lastError_.clear();
  void* handle = nullptr;
  if (!preferredDirectory_.empty()) {
    handle = Open(preferredDirectory_ + "/" + kLibraryName, lastError_);
  }
  if (handle == nullptr) handle = Open(kLibraryName, lastError_);
  if (handle == nullptr) return nullptr;
  lastError_.clear();
  return std::make_unique<DlLibrary>(handle);
}

}  // namespace qelto
