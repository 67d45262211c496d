#include "common/win32/wide_text.h"

#include <windows.h>

#include <limits>

namespace qelto {
namespace {

// Texts handed to the conversions are lines and messages; anything past 2 GiB is not one.
int Length(std::size_t size) {
  return size > static_cast<std::size_t>(std::numeric_limits<int>::max())
             ? std::numeric_limits<int>::max()
             : static_cast<int>(size);
}

std::optional<std::wstring> ToWide(UINT codePage, DWORD flags, std::string_view text) {
  if (text.empty()) return std::wstring();
  const int needed =
      MultiByteToWideChar(codePage, flags, text.data(), Length(text.size()), nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), Length(text.size()), wide.data(), needed);
  return wide;
}

std::string FromWide(UINT codePage, std::wstring_view text) {
  if (text.empty()) return std::string();
  const int needed = WideCharToMultiByte(codePage, 0, text.data(), Length(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string bytes(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), Length(text.size()), bytes.data(), needed, nullptr,
                      nullptr);
  return bytes;
}

}  // namespace

std::wstring WideFromUtf8(std::string_view text) {
  return ToWide(CP_UTF8, 0, text).value_or(std::wstring());
}

std::optional<std::wstring> WideFromStrictUtf8(std::string_view text) {
  return ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text);
}

std::string Utf8FromWide(std::wstring_view text) {
  return FromWide(CP_UTF8, text);
}

std::wstring WideFromAnsi(std::string_view text) {
  return ToWide(CP_ACP, 0, text).value_or(std::wstring());
}

std::string AnsiFromWide(std::wstring_view text) {
  return FromWide(CP_ACP, text);
}

std::optional<std::string> InCodePage(unsigned codePage, std::wstring_view text, bool bestFit) {
  if (codePage == CP_ACP) codePage = GetACP();
  if (codePage == CP_UTF8) return Utf8FromWide(text);  // which takes no default character
  if (text.empty()) return std::string();
  const DWORD flags = bestFit ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  const int needed = WideCharToMultiByte(codePage, flags, text.data(), Length(text.size()), nullptr,
                                         0, nullptr, &usedDefault);
  if (needed <= 0 || usedDefault) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), Length(text.size()), bytes.data(), needed,
                      nullptr, &usedDefault);
  return bytes;
}

}  // namespace qelto
