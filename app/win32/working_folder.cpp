#include "app/win32/working_folder.h"

#include <windows.h>
// shlobj.h and shellapi.h need windows.h first.
#include <shellapi.h>
#include <shlobj.h>

#include <memory>

#include "common/texts.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"

namespace qelto {
namespace {

// The installer's key, in the registry view of the recorder's own width, as the installer writes
// it for its recorder.
constexpr const wchar_t* kProductKey = L"Software\\QELTO\\Caller ID";
constexpr const wchar_t* kWorkingFolderValue = L"WorkingFolder";

std::string CurrentFolder() {
  const DWORD needed = GetCurrentDirectoryW(0, nullptr);
  if (needed == 0) return {};
  std::wstring folder(needed, L'\0');
  const DWORD length = GetCurrentDirectoryW(needed, folder.data());
  if (length == 0 || length >= needed) return {};
  folder.resize(length);
  return Utf8FromWide(folder);
}

std::string InstallationWorkingFolder() {
  wchar_t folder[MAX_PATH * 2];
  DWORD size = sizeof folder;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kProductKey, kWorkingFolderValue, RRF_RT_REG_SZ, nullptr,
                   folder, &size) != ERROR_SUCCESS) {
    return {};
  }
  return Utf8FromWide(folder);
}

std::string LocalApplicationDataFolder() {
  wchar_t folder[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return {};
  }
  const std::wstring ours = std::wstring(folder) + L"\\" + WideFromUtf8(kApplicationTitle);
  CreateDirectoryW(ours.c_str(), nullptr);
  return Utf8FromWide(ours);
}

// The folder given with kWorkingFolderOption, or empty.
std::string FolderOption(const std::wstring& commandLine) {
  int count = 0;
  const std::unique_ptr<LPWSTR, decltype(&LocalFree)> arguments(
      commandLine.empty() ? nullptr : CommandLineToArgvW(commandLine.c_str(), &count), &LocalFree);
  const std::wstring option = kWorkingFolderOption;
  for (int i = 0; arguments && i < count; ++i) {
    const std::wstring argument = arguments.get()[i];
    if (argument.compare(0, option.size(), option) == 0) {
      return Utf8FromWide(argument.substr(option.size()));
    }
  }
  return {};
}

}  // namespace

bool IsWritableFolder(const std::string& folder) {
  if (folder.empty()) return false;
  const std::wstring probe = WideFromUtf8(folder) + L"\\qelto-write-test-" +
                             std::to_wstring(GetCurrentProcessId()) + L".tmp";
  const UniqueHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                      nullptr));
  return static_cast<bool>(file);
}

WorkingFolder EnterWritableWorkingFolder(const std::wstring& commandLine) {
  WorkingFolder result;
  const std::string given = FolderOption(commandLine);
  if (!given.empty()) SetCurrentDirectoryW(WideFromUtf8(given).c_str());
  const std::string started = CurrentFolder();
  if (IsWritableFolder(started)) {
    result.path = started;
    return result;
  }
  result.tried.push_back(started);
  for (const std::string& folder : {InstallationWorkingFolder(), LocalApplicationDataFolder()}) {
    if (folder.empty()) continue;
    if (IsWritableFolder(folder) && SetCurrentDirectoryW(WideFromUtf8(folder).c_str())) {
      result.path = CurrentFolder();
      result.note = "The folder " + started + " cannot be written; working in " + result.path;
      result.tried.clear();
      return result;
    }
    result.tried.push_back(folder);
  }
  return result;
}

void RegisterRestart(const std::string& workingFolder) {
  std::wstring arguments;
  if (!workingFolder.empty()) {
    std::wstring folder = WideFromUtf8(workingFolder);
    // A backslash before the closing quote would escape it ("C:\" for a drive's root).
    if (folder.back() == L'\\') folder += L'\\';
    arguments = L"\"" + std::wstring(kWorkingFolderOption) + folder + L"\"";
  }
  RegisterApplicationRestart(arguments.c_str(),
                             RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
}

}  // namespace qelto
