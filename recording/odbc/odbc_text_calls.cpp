#include "recording/odbc/odbc_text_calls.h"

#include <vector>

#if defined(_WIN32)
#include "common/win32/wide_text.h"
#endif

namespace qelto::odbc {
namespace {

#if defined(_WIN32)
using Char = SQLWCHAR;
using Text = std::wstring;
Text ToOdbc(const std::string& text) {
  return WideFromUtf8(text);
}
std::string FromOdbc(const Char* text, std::size_t length) {
  return Utf8FromWide(std::wstring_view(reinterpret_cast<const wchar_t*>(text), length));
}
#define QELTO_ODBC_TEXT_CALL(name) name##W
constexpr SQLSMALLINT kTextType = SQL_C_WCHAR;
#else
using Char = SQLCHAR;
using Text = std::string;
Text ToOdbc(const std::string& text) {
  return text;
}
std::string FromOdbc(const Char* text, std::size_t length) {
  return std::string(reinterpret_cast<const char*>(text), length);
}
#define QELTO_ODBC_TEXT_CALL(name) name
constexpr SQLSMALLINT kTextType = SQL_C_CHAR;
#endif

}  // namespace

SQLRETURN DriverConnect(SQLHDBC dbc, const std::string& connectionString) {
  Text text = ToOdbc(connectionString);  // the API takes a mutable buffer
  return QELTO_ODBC_TEXT_CALL(SQLDriverConnect)(dbc, nullptr, reinterpret_cast<Char*>(text.data()),
                                                SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
}

SQLRETURN ExecDirect(SQLHSTMT stmt, const std::string& statement) {
  Text text = ToOdbc(statement);
  return QELTO_ODBC_TEXT_CALL(SQLExecDirect)(stmt, reinterpret_cast<Char*>(text.data()),
                                             static_cast<SQLINTEGER>(text.size()));
}

SQLRETURN DiagnosticText(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                         std::string& message, std::string& sqlState, SQLINTEGER& nativeError) {
  Char state[6] = {};
  nativeError = 0;
  std::vector<Char> buffer(512);
  SQLSMALLINT length = 0;
  for (;;) {
    const SQLRETURN result = QELTO_ODBC_TEXT_CALL(SQLGetDiagRec)(
        type, handle, record, state, &nativeError, buffer.data(),
        static_cast<SQLSMALLINT>(buffer.size()), &length);
    if (!SQL_SUCCEEDED(result)) return result;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      message = FromOdbc(buffer.data(), static_cast<std::size_t>(length));
      sqlState = FromOdbc(state, 5);
      return result;
    }
    buffer.resize(static_cast<std::size_t>(length) + 1);  // truncated: ask again with room
  }
}

SQLRETURN GetText(SQLHSTMT stmt, SQLUSMALLINT column, std::string& value, bool& null) {
  Text text;
  Char buffer[256];
  SQLLEN length = 0;
  null = false;
  SQLRETURN result;
  while ((result = SQLGetData(stmt, column, kTextType, buffer, sizeof buffer, &length)) !=
         SQL_NO_DATA) {
    if (!SQL_SUCCEEDED(result)) return result;
    if (length == SQL_NULL_DATA) {
      null = true;
      break;
    }
    // Each piece ends in a NUL; a piece that filled the buffer holds one character less than it.
    constexpr std::size_t kRoom = sizeof buffer / sizeof buffer[0] - 1;
    const std::size_t characters =
        (length == SQL_NO_TOTAL || static_cast<std::size_t>(length) / sizeof(Char) > kRoom)
            ? kRoom
            : static_cast<std::size_t>(length) / sizeof(Char);
    text.append(reinterpret_cast<const Text::value_type*>(buffer), characters);
  }
  value = FromOdbc(reinterpret_cast<const Char*>(text.data()), text.size());
  return SQL_SUCCESS;
}

}  // namespace qelto::odbc
