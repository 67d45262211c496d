#include "app/win32/win_support_report.h"

#include <cstdint>
#include <optional>

#include "app/win32/executable_path.h"
#include "common/win32/system_error_text.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"
#include "qelto_version.h"
#include "ui/activity_log.h"
#include "ui/status_view.h"
#include "ui/win32/clipboard.h"

namespace qelto {
namespace {

constexpr char kDriverFileName[] = "POS_CIDR.dll";
constexpr char kDriverConfFileName[] = "POS_CIDR.conf";
// The log is emptied beyond 10,000,000 bytes; its last 200 lines lie well within this.
constexpr std::int64_t kLogTailBytes = 256 * 1024;
constexpr std::int64_t kConfMaxBytes = 1024 * 1024;
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr int kClipboardAttempts = 5;
constexpr DWORD kClipboardRetryMs = 20;

std::string Joined(const std::string& folder, const char* name) {
  return folder.empty() ? std::string(name) : folder + "\\" + name;
}

// The last `limit` bytes of the file at `path`, or nullopt when it cannot be read. The recorder
// holds its log open for writing: it is read beside that.
std::optional<std::string> FileTail(const std::string& path, std::int64_t limit) {
  const UniqueHandle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size)) return std::nullopt;
  LARGE_INTEGER start{};
  start.QuadPart = size.QuadPart > limit ? size.QuadPart - limit : 0;
  if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) return std::nullopt;
  std::string bytes;
  char buffer[16384];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

// Text kept in UTF-8 stays so; other text is taken in the system's ANSI code page, as the log is
// written.
std::string AsUtf8(const std::string& bytes) {
  if (WideFromStrictUtf8(bytes)) return bytes;
  return Utf8FromWide(WideFromAnsi(bytes));
}

std::string SystemText() {
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  using WineVersionFunction = const char*(CDECL*)();
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  std::string text = "Windows";
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  // GetVersionEx tells a program without the newest manifest entries an older version.
  auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  if (rtlGetVersion && rtlGetVersion(&version) == 0) {
    text += " " + std::to_string(version.dwMajorVersion) + "." +
            std::to_string(version.dwMinorVersion) + " build " +
            std::to_string(version.dwBuildNumber);
  }
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  text += sizeof(void*) == 4 ? (wow64 ? ", 64-bit (a 32-bit program)" : ", 32-bit") : ", 64-bit";
  auto wineVersion = reinterpret_cast<WineVersionFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
  if (wineVersion) text += std::string(", under Wine ") + wineVersion();
  return text + ", ANSI code page " + std::to_string(GetACP());
}

std::string BuildText() {
  std::string text = sizeof(void*) == 4 ? "Windows i686" : "Windows x86_64";
#if defined(__clang__)
  text += ", Clang " __clang_version__;
#elif defined(__GNUC__)
  text += ", GCC " __VERSION__;
#endif
#ifdef NDEBUG
  text += ", release";
#else
  text += ", debug";
#endif
  return text;
}

}  // namespace

SupportFacts WindowsSupportFacts(const std::string& workingFolder) {
  SupportFacts facts;
  facts.version = QELTO_VERSION_TEXT;
  facts.build = BuildText();
  facts.system = SystemText();
  facts.workingFolder = workingFolder;
  const std::string programFolder = ExecutableDirectory();
  facts.driverPath = Joined(programFolder, kDriverFileName);
  const std::string confPath = Joined(programFolder, kDriverConfFileName);
  if (const std::optional<std::string> conf = FileTail(confPath, kConfMaxBytes)) {
    facts.driverConfPath = confPath;
    facts.driverConf = AsUtf8(*conf);
  }
  if (const std::optional<std::string> log =
          FileTail(Joined(workingFolder, kLogFileName), kLogTailBytes)) {
    facts.logText = AsUtf8(*log);
  }
  return facts;
}

std::string SaveSupportReport(HWND owner, const std::string& report,
                              const std::string& workingFolder) {
  const std::string path = Joined(workingFolder, kSupportReportFileName);
  const std::string bytes = kUtf8Mark + report;
  const UniqueHandle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ReportFailedText(path, SystemErrorText(GetLastError()));
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    return ReportFailedText(path, SystemErrorText(GetLastError()));
  }
  // Another program may hold the clipboard for a moment: tried a few times, a short wait each.
  const std::wstring text = WideFromUtf8(report);
  DWORD error = 0;
  for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
    if (PutOnClipboard(owner, text)) return ReportWrittenText(path);
    error = GetLastError();
    Sleep(kClipboardRetryMs);
  }
  return ReportNotCopiedText(path, error != 0 ? SystemErrorText(error) : std::string());
}

}  // namespace qelto
