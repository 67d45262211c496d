#include "recording/win32/settings_file.h"

#include <windows.h>

#include <utility>

#include "common/win32/system_error_text.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"
#include "recording/open_database.h"

namespace qelto {

SettingsFile::SettingsFile(std::string folder) : folder_(std::move(folder)) {}

std::string SettingsFile::Path() const {
  return folder_ + "\\\\" + kSettingsFileName;
}

bool SettingsFile::Read(std::string& content, std::string& osError) {
  const UniqueHandle file(CreateFileW(WideFromUtf8(Path()).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    osError = SystemErrorText(GetLastError());
    return false;
  }
  std::string bytes;
  char buffer[4096];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) {
      osError = SystemErrorText(GetLastError());
      return false;
    }
    if (read == 0) break;
    bytes.append(buffer, read);
  }
  content = WideFromStrictUtf8(bytes) ? std::move(bytes) : Utf8FromWide(WideFromAnsi(bytes));
  return true;
}

PlatformDatabaseFactory::PlatformDatabaseFactory(std::string baseFolder)
    : baseFolder_(std::move(baseFolder)) {}

std::unique_ptr<Database> PlatformDatabaseFactory::Create(const ServerConfig& config) {
  return OpenDatabaseFor(config, baseFolder_);
}

}  // namespace qelto
