#include <windows.h>

#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"
#include "recording/sqlite/database_file.h"

namespace qelto {

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
  // No access asked for, every sharing allowed: this works on a file SQLite holds open.
  const UniqueHandle file(CreateFileW(WideFromUtf8(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!file || !GetFileInformationByHandle(file.get(), &information)) return std::nullopt;
  return FileIdentity{
      information.dwVolumeSerialNumber,
      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

bool OpenFilesCanBeReplaced() {
  return false;
}

void RemoveSameFile(const std::string& path, const FileIdentity& identity) {
  if (IdentifyFile(path) == identity) DeleteFileW(WideFromUtf8(path).c_str());
}

// The folder's inherited access rules already keep a user's files from other users.
void CreateOwnerOnlyFile(const std::string&) {}

}  // namespace qelto
