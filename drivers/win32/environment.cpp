#include "drivers/win32/environment.h"

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <memory>
#include <vector>

#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"

namespace qelto::cidr {
namespace {

struct LocalFreeDeleter {
  void operator()(wchar_t* text) const { LocalFree(text); }
};

}  // namespace

std::optional<std::string> EnvironmentValue(const wchar_t* name) {
  std::wstring value(64, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length =
        GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < value.size()) {
      value.resize(length);
      return Utf8FromWide(value);
    }
    value.assign(length, L'\0');  // too small: `length` counts the terminating NUL
  }
}

std::string CurrentUserSid() {
  HANDLE raw_token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw_token)) return {};
  const UniqueHandle token(raw_token);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
  wchar_t* raw_text = nullptr;
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  if (!ConvertSidToStringSidW(user->User.Sid, &raw_text)) return {};
  const std::unique_ptr<wchar_t, LocalFreeDeleter> text(raw_text);
  return Utf8FromWide(text.get());
}

}  // namespace qelto::cidr
