#include "ui/win32/win_log_files.h"

#include <windows.h>

#include <limits>
#include <optional>

#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"

namespace qelto {
namespace {

// The Arabic Windows code page, in which the recorder's Persian texts have always been written.
constexpr unsigned kPersianCodePage = 1256;

// The line in the ANSI code page. A character that code page lacks is written in code page 1256
// when that has it or a look-alike, so the Persian texts read the same in every shop's log
// whatever Windows' language; one that neither has becomes the ANSI code page's '?'.
std::string AnsiLine(std::string_view utf8) {
  const std::optional<std::wstring> wide = WideFromStrictUtf8(utf8);
  if (!wide) return std::string(utf8);
  if (std::optional<std::string> whole = InCodePage(CP_ACP, *wide, false)) return *whole;
  std::string line;
  for (std::size_t i = 0; i < wide->size();) {
    const std::size_t units = IS_HIGH_SURROGATE((*wide)[i]) && i + 1 < wide->size() ? 2 : 1;
    const std::wstring_view character = std::wstring_view(*wide).substr(i, units);
    std::optional<std::string> bytes = InCodePage(CP_ACP, character, false);
    if (!bytes) bytes = InCodePage(kPersianCodePage, character, true);
    line += bytes ? *bytes : AnsiFromWide(character);
    i += units;
  }
  return line;
}

class WinLogFile : public LogFile {
 public:
  explicit WinLogFile(UniqueHandle file) : file_(std::move(file)) {}

  bool Append(std::string_view bytes) override {
    const std::string line = AnsiLine(bytes);
    if (line.size() > std::numeric_limits<DWORD>::max()) return false;
    // Opened for appending only: every write lands at the current end of the file. A short
    // write is not continued, since a second write could interleave with another thread's line.
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return ok && written == line.size();
  }

 private:
  UniqueHandle file_;
};

}  // namespace

std::int64_t WinLogFiles::FileSizeOf(const std::string& name) {
  // A directory search, which finds an entry of any kind, a folder too, and sizes past 4 GiB.
  WIN32_FIND_DATAW entry{};
  const HANDLE search = FindFirstFileW(WideFromUtf8(name).c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return -1;
  FindClose(search);
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) |
                                   entry.nFileSizeLow);
}

bool WinLogFiles::CreateEmpty(const std::string& name) {
  const UniqueHandle file(CreateFileW(WideFromUtf8(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

std::unique_ptr<LogFile> WinLogFiles::OpenForAppend(const std::string& name) {
  UniqueHandle file(CreateFileW(WideFromUtf8(name).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file) return nullptr;
  return std::make_unique<WinLogFile>(std::move(file));
}

}  // namespace qelto
