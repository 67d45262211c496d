#include "drivers/win32/raw_log_file.h"

#include <cstdio>
#include <utility>

#include "common/win32/system_error_text.h"
#include "common/win32/wide_text.h"
#include "drivers/win32/plain_file.h"

namespace qelto::cidr {
namespace {

UniqueHandle OpenForAppending(const std::string& path, std::string& problem) {
  return OpenPlainFile(path, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS, problem);
}

UniqueHandle OpenForAppending(const std::string& path) {
  std::string ignored;
  return OpenForAppending(path, ignored);
}

// The local time as "2026-03-21 14:05:07.123".
std::string LocalStamp() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char text[40];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  return text;
}

}  // namespace

std::unique_ptr<RawLogFile> RawLogFile::Open(const std::string& path, std::string& error) {
  std::string problem;
  UniqueHandle file = OpenForAppending(path, problem);
  LARGE_INTEGER size{};
  if (file && !GetFileSizeEx(file.get(), &size)) problem = SystemErrorText(GetLastError());
  if (!problem.empty()) {
    error = path + ": " + problem;
    return nullptr;
  }
  return std::unique_ptr<RawLogFile>(
      new RawLogFile(std::move(file), path, static_cast<std::uint64_t>(size.QuadPart)));
}

RawLogFile::RawLogFile(UniqueHandle file, std::string path, std::uint64_t size)
    : file_(std::move(file)), path_(std::move(path)), size_(size) {}

void RawLogFile::Write(std::int32_t line, RawDirection direction, std::string_view bytes) {
  const std::string record = FormatRawRecord(LocalStamp(), line, direction, bytes);
  std::lock_guard lock(mutex_);
  if (size_ > kRawLogLimit) RotateLocked();
  if (!file_) file_ = OpenForAppending(path_);  // could not be made before
  if (!file_) return;
  std::string_view rest = record;
  while (!rest.empty()) {
    DWORD written = 0;
    if (!WriteFile(file_.get(), rest.data(), static_cast<DWORD>(rest.size()), &written, nullptr) ||
        written == 0) {
      return;
    }
    rest.remove_prefix(written);
    size_ += written;
  }
}

void RawLogFile::RotateLocked() {
  file_.reset();  // an open file cannot be renamed here
  MoveFileExW(WideFromUtf8(path_).c_str(), WideFromUtf8(path_ + ".1").c_str(),
              MOVEFILE_REPLACE_EXISTING);
  file_ = OpenForAppending(path_);
  size_ = 0;
}

}  // namespace qelto::cidr
