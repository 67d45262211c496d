#include "recording/win32/odbc_drivers.h"

#include <windows.h>
// clang-format off: sql.h needs the types of windows.h
#include <sql.h>
#include <sqlext.h>
// clang-format on

#include "common/win32/wide_text.h"

namespace qelto {
namespace {

std::vector<std::string> FromDriverManager() {
  std::vector<std::string> names;
  SQLHENV env = SQL_NULL_HENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return names;
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLWCHAR name[512];
  SQLWCHAR attributes[2048];
  SQLSMALLINT nameLength = 0;
  SQLSMALLINT attributesLength = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (SQL_SUCCEEDED(SQLDriversW(env, direction, name, SQLSMALLINT{512}, &nameLength, attributes,
                                   SQLSMALLINT{2048}, &attributesLength))) {
    names.push_back(Utf8FromWide(reinterpret_cast<const wchar_t*>(name)));
    direction = SQL_FETCH_NEXT;
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return names;
}

std::vector<std::string> FromRegistry() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers", 0, KEY_READ,
                    &key) != ERROR_SUCCESS) {
    return names;
  }
  wchar_t name[512];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name / sizeof name[0];
    const LSTATUS status =
        RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS) names.push_back(Utf8FromWide(std::wstring_view(name, length)));
  }
  RegCloseKey(key);
  return names;
}

}  // namespace

std::vector<std::string> InstalledOdbcDrivers() {
  std::vector<std::string> names = FromDriverManager();
  if (names.empty()) names = FromRegistry();
  return names;
}

}  // namespace qelto
