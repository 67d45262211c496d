#include "device/posix/dl_library_loader.h"

#include <dlfcn.h>

#include <algorithm>
#include <string_view>
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

std::vector<std::string> DriverSearchFolders(const std::string& executableDirectory,
                                             const char* ldLibraryPath,
                                             const std::string& privateDirectory) {
  std::vector<std::string> folders;
  const auto add = [&folders](std::string_view folder) {
    if (!folder.empty()) folders.emplace_back(folder);
  };
  add(executableDirectory);
  // The loader splits its path at colons and semicolons alike.
  std::string_view rest = ldLibraryPath != nullptr ? ldLibraryPath : "";
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find_first_of(":;"), rest.size());
    add(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  add(privateDirectory);
  return folders;
}

DlLibraryLoader::DlLibraryLoader(std::vector<std::string> preferredDirectories)
    : preferredDirectories_(std::move(preferredDirectories)) {}

std::unique_ptr<DriverLibrary> DlLibraryLoader::Load() {
  lastError_.clear();
  void* handle = nullptr;
  for (const std::string& folder : preferredDirectories_) {
    handle = Open(folder + "/" + kLibraryName, lastError_);
    if (handle != nullptr) break;
  }
  if (handle == nullptr) handle = Open(kLibraryName, lastError_);
  if (handle == nullptr) return nullptr;
  lastError_.clear();
  return std::make_unique<DlLibrary>(handle);
}

}  // namespace qelto
