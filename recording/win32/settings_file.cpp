#include "recording/win32/settings_file.h"

#include <windows.h>

#include <string_view>
#include <utility>

#include "common/win32/system_error_text.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"
#include "recording/open_database.h"

namespace qelto {
namespace {

std::string Utf8FromUtf16(std::string_view bytes, bool bigEndian) {
  std::wstring wide(bytes.size() / 2, L'\0');
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    wide[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  return Utf8FromWide(wide);
}

bool HasMultiByteSequence(std::string_view bytes) {
  for (const char byte : bytes) {
    if (static_cast<unsigned char>(byte) >= 0x80) return true;
  }
  return false;
}

}  // namespace

std::string SettingsTextAsUtf8(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
  if (bytes.substr(0, 2) == "\xFF\xFE") return Utf8FromUtf16(bytes.substr(2), false);
  if (bytes.substr(0, 2) == "\xFE\xFF") return Utf8FromUtf16(bytes.substr(2), true);
  // Without a mark: UTF-8 only when the bytes say so, with at least one character beyond ASCII
  // and nothing that is not UTF-8; the ANSI code page otherwise.
  if (HasMultiByteSequence(bytes) && WideFromStrictUtf8(bytes)) return std::string(bytes);
  return Utf8FromWide(WideFromAnsi(bytes));
}

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
  content = SettingsTextAsUtf8(bytes);
  return true;
}

PlatformDatabaseFactory::PlatformDatabaseFactory(std::string baseFolder)
    : baseFolder_(std::move(baseFolder)) {}

std::unique_ptr<Database> PlatformDatabaseFactory::Create(const ServerConfig& config) {
  return OpenDatabaseFor(config, baseFolder_);
}

}  // namespace qelto
