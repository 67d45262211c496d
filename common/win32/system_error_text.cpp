#include "common/win32/system_error_text.h"

#include <windows.h>

#include <memory>

#include "common/win32/wide_text.h"

namespace qelto {
namespace {

struct LocalFreeDeleter {
  void operator()(wchar_t* text) const { LocalFree(text); }
};

}  // namespace

std::string SystemErrorText(std::uint32_t code) {
  wchar_t* raw = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalFreeDeleter> owned(raw);
  std::wstring text(length != 0 && raw != nullptr ? raw : L"");
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) return "system error " + std::to_string(code);
  return Utf8FromWide(text);
}

}  // namespace qelto
