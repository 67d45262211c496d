#include "recording/win32/win_durable_file.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

#include "common/win32/wide_text.h"

namespace qelto {
namespace {

// Others may read the journal, and rename or delete it (a backup tool, say); nobody else writes.
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

std::wstring AbsolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute =
      std::filesystem::absolute(std::filesystem::path(WideFromUtf8(path)), error);
  return error ? WideFromUtf8(path) : absolute.lexically_normal().wstring();
}

// The file's identity: its volume and its number on that volume.
bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

bool DeletePending(HANDLE file) {
  FILE_STANDARD_INFO info{};
  return GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) &&
         (info.DeletePending || info.NumberOfLinks == 0);
}

// Opens the file at `path` only when it is a plain file on a disk: a symbolic link or junction
// is opened as itself, not followed, and refused, as are folders, devices (NUL, COM1) and pipes.
// Anything else could send the calls into another file or wait for ever.
UniqueHandle OpenPlainFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
  UniqueHandle file(CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return file;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    file.reset();
    SetLastError(ERROR_INVALID_PARAMETER);
  }
  return file;
}

}  // namespace

WinDurableFile::WinDurableFile(const std::string& path) : path_(AbsolutePath(path)) {}

std::string WinDurableFile::Path() const {
  return Utf8FromWide(path_);
}

bool WinDurableFile::OpenForAppend() {
  if (!file_) {
    file_ = OpenPlainFile(path_, GENERIC_READ | GENERIC_WRITE, kShareMode, OPEN_ALWAYS);
  }
  return static_cast<bool>(file_);
}

// A record cut short by a full disk is cut off again, so that the next one does not stick to it.
bool WinDurableFile::AppendWhole(std::string_view record) {
  if (!OpenForAppend()) return false;
  LARGE_INTEGER end{};
  if (!SetFilePointerEx(file_.get(), LARGE_INTEGER{}, &end, FILE_END)) return false;
  if (WriteAll(file_.get(), record)) return true;
  if (SetFilePointerEx(file_.get(), end, nullptr, FILE_BEGIN)) SetEndOfFile(file_.get());
  return false;
}

bool WinDurableFile::Append(std::string_view record) {
  std::lock_guard guard(lock_);
  return AppendWhole(record) && FlushFileBuffers(file_.get());
}

bool WinDurableFile::AppendUnsynced(std::string_view record) {
  std::lock_guard guard(lock_);
  return AppendWhole(record);
}

bool WinDurableFile::Sync() {
  std::lock_guard guard(lock_);
  return !file_ || FlushFileBuffers(file_.get());
}

bool WinDurableFile::Intact() {
  std::lock_guard guard(lock_);
  if (!file_) return true;
  // A link put in the file's place is no longer the file.
  const UniqueHandle named(
      CreateFileW(path_.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return named && SameFile(file_.get(), named.get()) && !DeletePending(file_.get());
}

std::optional<std::string> WinDurableFile::ReadAll() {
  std::lock_guard guard(lock_);
  const UniqueHandle file = OpenPlainFile(
      path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
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

bool WinDurableFile::WriteReplacement(const std::wstring& temporary, std::string_view content) {
  auto create = [&] { return OpenPlainFile(temporary, GENERIC_WRITE, 0, CREATE_ALWAYS); };
  DeleteFileW(temporary.c_str());  // whatever a crash or someone else left there; a link itself
  UniqueHandle file = create();
  if (!file && GetLastError() == ERROR_PATH_NOT_FOUND) {  // the folder was deleted: make it again
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
    file = create();
  }
  return file && WriteAll(file.get(), content) && FlushFileBuffers(file.get());
}

bool WinDurableFile::Replace(std::string_view content) {
  std::lock_guard guard(lock_);
  const std::wstring temporary = path_ + L".new";
  const bool written = WriteReplacement(temporary, content);
  // Our own handle would keep the old file from being replaced; later appends reopen the new one.
  if (written) file_.reset();
  if (!written || !MoveFileExW(temporary.c_str(), path_.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace qelto
