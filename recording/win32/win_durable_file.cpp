#include "recording/win32/win_durable_file.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "common/win32/wide_text.h"

namespace qelto {
namespace {

// Others may read the journal and rename or delete it (a backup tool, say); nobody else writes.
constexpr DWORD kShareMode = FILE_SHARE_READ | FILE_SHARE_DELETE;

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(
        std::min<std::size_t>(bytes.size(), std::numeric_limits<DWORD>::max() / 2));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

WinDurableFile::WinDurableFile(std::string path) : path_(WideFromUtf8(path)) {}

bool WinDurableFile::OpenForAppend() {
  if (!file_) {
    file_ = UniqueHandle(CreateFileW(path_.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, kShareMode,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  return static_cast<bool>(file_);
}

bool WinDurableFile::Append(std::string_view record) {
  std::lock_guard guard(lock_);
  // A record cut short by a full disk lacks its LF and is skipped when the journal is read.
  return OpenForAppend() && WriteAll(file_.get(), record) && FlushFileBuffers(file_.get());
}

bool WinDurableFile::AppendUnsynced(std::string_view record) {
  std::lock_guard guard(lock_);
  return OpenForAppend() && WriteAll(file_.get(), record);
}

bool WinDurableFile::Sync() {
  std::lock_guard guard(lock_);
  return !file_ || FlushFileBuffers(file_.get());
}

std::optional<std::string> WinDurableFile::ReadAll() {
  std::lock_guard guard(lock_);
  const UniqueHandle file(CreateFileW(path_.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::string();
    return std::nullopt;
  }
  std::string content;
  char buffer[65536];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return std::nullopt;
    if (read == 0) break;
    content.append(buffer, read);
  }
  return content;
}

bool WinDurableFile::Replace(std::string_view content) {
  std::lock_guard guard(lock_);
  const std::wstring temporary = path_ + L".new";
  {
    const UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (!WriteAll(file.get(), content) || !FlushFileBuffers(file.get())) {
      DeleteFileW(temporary.c_str());
      return false;
    }
  }
  // Our own handle would keep the old file from being replaced; later appends reopen the new one.
  file_.reset();
  if (!MoveFileExW(temporary.c_str(), path_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace qelto
