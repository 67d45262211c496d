#include <windows.h>

#include <array>

#include "common/win32/system_error_text.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"
#include "drivers/pbx/reported_calls.h"

namespace qelto::cidr {
namespace {

bool WriteAll(HANDLE file, std::string_view text) {
  while (!text.empty()) {
    DWORD written = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written == 0) {
      return false;
    }
    text.remove_prefix(written);
  }
  return true;
}

bool SeekToEnd(HANDLE file) {
  return SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_END) != 0;
}

class WinDriverFile final : public DriverFile {
 public:
  explicit WinDriverFile(UniqueHandle file) : file_(std::move(file)) {}

  bool Replace(std::string_view text) override {
    return SetFilePointerEx(file_.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN) &&
           SetEndOfFile(file_.get()) && WriteAll(file_.get(), text) &&
           FlushFileBuffers(file_.get());
  }
  // In the system's hands once written: a process ended or restarted loses nothing.
  bool Append(std::string_view text) override {
    return SeekToEnd(file_.get()) && WriteAll(file_.get(), text);
  }

 private:
  UniqueHandle file_;
};

}  // namespace

std::unique_ptr<DriverFile> DriverFile::Open(const std::string& path, std::size_t max_bytes,
                                             std::string& text, std::string& problem) {
  // A link is not followed; a device name (CON, COM1) or a pipe is no disk file.
  UniqueHandle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    problem = SystemErrorText(GetLastError());
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    problem = "not a regular file";
    return nullptr;
  }
  std::array<char, 16384> buffer{};
  while (text.size() <= max_bytes) {
    DWORD received = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &received,
                  nullptr)) {
      problem = SystemErrorText(GetLastError());
      return nullptr;
    }
    if (received == 0) break;
    text.append(buffer.data(), received);
  }
  return std::make_unique<WinDriverFile>(std::move(file));
}

}  // namespace qelto::cidr
