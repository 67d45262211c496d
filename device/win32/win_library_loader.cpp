#include "device/win32/win_library_loader.h"

#include <windows.h>

#include <utility>

#include "common/win32/system_error_text.h"
#include "common/win32/wide_text.h"

namespace qelto {
namespace {

// A loaded driver DLL. Never freed: the driver's own threads may still run in its code when the
// recorder ends, and Windows unloads it with the process.
class WinLibrary : public DriverLibrary {
 public:
  explicit WinLibrary(HMODULE module) : module_(module) {}

  void* Symbol(const char* name) const override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

 private:
  HMODULE module_;
};

void AddError(std::string& error, const std::string& what) {
  if (!error.empty()) error += "; ";
  error += what + ": " + SystemErrorText(GetLastError());
}

}  // namespace

WinLibraryLoader::WinLibraryLoader(std::string preferredDirectory)
    : preferredDirectory_(std::move(preferredDirectory)) {}

std::unique_ptr<DriverLibrary> WinLibraryLoader::Load() {
  lastError_.clear();
  // The library never shows a "no disk" or "bad image" box of its own: start-up has its own.
  DWORD oldMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE module = nullptr;
  if (!preferredDirectory_.empty()) {
    const std::string path = preferredDirectory_ + "\\" + kLibraryName;
    // The altered search path finds the DLLs the driver itself needs in its own folder.
    module = LoadLibraryExW(WideFromUtf8(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) AddError(lastError_, path);
  }
  if (module == nullptr) {
    module = LoadLibraryExA(kLibraryName, nullptr, 0);
    if (module == nullptr) AddError(lastError_, kLibraryName);
  }
  SetThreadErrorMode(oldMode, nullptr);
  if (module == nullptr) return nullptr;
  lastError_.clear();
  return std::make_unique<WinLibrary>(module);
}

}  // namespace qelto
