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

// "path: reason; path: reason", without the full stop Windows ends its texts with, which made the
// joins read ".; ".
void AddError(std::string& error, const std::string& what, DWORD code) {
  std::string reason = SystemErrorText(code);
  if (!reason.empty() && reason.back() == '.') reason.pop_back();
  if (!error.empty()) error += "; ";
  error += what + ": " + reason;
}

std::string SystemDirectory() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return Utf8FromWide(std::wstring_view(folder, length));
}

HMODULE LoadByFullPath(const std::wstring& path) {
  // The driver's own folder, the recorder's and the system folder for what the driver needs.
  HMODULE module = LoadLibraryExW(
      path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  // Windows 7 without its update KB2533623 knows no such flags. The driver's folder then comes
  // first for what it needs, and RestrictLibrarySearch has taken the working folder out.
  if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
    module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  return module;
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
  for (const std::string& folder : {preferredDirectory_, SystemDirectory()}) {
    if (folder.empty()) continue;
    const std::string path = folder + "\\" + kLibraryName;
    module = LoadByFullPath(WideFromUtf8(path));
    if (module != nullptr) break;
    AddError(lastError_, path, GetLastError());
  }
  SetThreadErrorMode(oldMode, nullptr);
  if (module == nullptr) return nullptr;
  lastError_.clear();
  return std::make_unique<WinLibrary>(module);
}

void WinLibraryLoader::RestrictLibrarySearch() {
  // Looked up, not imported: Windows 7 has it only with the update KB2533623, and an import
  // missing there would keep the recorder from starting at all.
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const auto setDefault =
      reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) return;
  // Without it: at least the working folder is out of the search.
  SetDllDirectoryW(L"");
}

}  // namespace qelto
