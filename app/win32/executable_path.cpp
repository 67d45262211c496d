#include "app/win32/executable_path.h"

#include <windows.h>

#include "common/win32/wide_text.h"

namespace qelto {

std::string ExecutableDirectory() {
  // The path may be longer than MAX_PATH on a system with long paths enabled: grow until it fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  path.resize(slash);
  return Utf8FromWide(path);
}

}  // namespace qelto
