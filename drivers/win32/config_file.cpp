#include <windows.h>

#include <array>

#include "common/win32/system_error_text.h"
#include "common/win32/unique_handle.h"
#include "drivers/driver_setup.h"
#include "drivers/win32/plain_file.h"

namespace qelto::cidr {

ConfigFileText ReadConfigFile(const std::string& path) {
  ConfigFileText file;
  const UniqueHandle handle = OpenPlainFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            OPEN_EXISTING, file.problem);
  if (!handle) {
    const DWORD error = GetLastError();
    file.exists = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    return file;
  }
  file.exists = true;
  std::array<char, 4096> buffer{};
  for (;;) {
    DWORD received = 0;
    if (!ReadFile(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &received,
                  nullptr)) {
      file.problem = SystemErrorText(GetLastError());
      return file;
    }
    if (received == 0) return file;
    file.text.append(buffer.data(), received);
    if (file.text.size() > kMaxConfigBytes) {
      file.problem = "larger than 1 MB";
      return file;
    }
  }
}

}  // namespace qelto::cidr
