#include "odbc_rows.h"

#include <sql.h>
#include <sqlext.h>

#include <stdexcept>

namespace qelto::testing_support {
namespace {

class Handles {
 public:
  ~Handles() {
    if (stmt != SQL_NULL_HANDLE) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (connected) SQLDisconnect(dbc);
    if (dbc != SQL_NULL_HANDLE) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env != SQL_NULL_HANDLE) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  SQLHANDLE env = SQL_NULL_HANDLE;
  SQLHANDLE dbc = SQL_NULL_HANDLE;
  SQLHANDLE stmt = SQL_NULL_HANDLE;
  bool connected = false;
};

void Check(SQLRETURN result, const char* what) {
  if (!SQL_SUCCEEDED(result)) throw std::runtime_error(std::string(what) + " failed");
}

std::string Value(SQLHANDLE stmt, SQLUSMALLINT column) {
  std::string value;
  char buffer[256];
  SQLLEN length = 0;
  SQLRETURN result;
  while ((result = SQLGetData(stmt, column, SQL_C_CHAR, buffer, sizeof buffer, &length)) !=
         SQL_NO_DATA) {
    Check(result, "SQLGetData");
    if (length == SQL_NULL_DATA) return "<NULL>";
    const auto chunk = (length == SQL_NO_TOTAL || length >= SQLLEN{sizeof buffer})
                           ? sizeof buffer - 1
                           : static_cast<std::size_t>(length);
    value.append(buffer, chunk);
  }
  return value;
}

}  // namespace

Rows OdbcRows(const std::string& connectionString, const std::string& query) {
  Handles h;
  Check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.env), "SQLAllocHandle");
  Check(SQLSetEnvAttr(h.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        "SQLSetEnvAttr");
  Check(SQLAllocHandle(SQL_HANDLE_DBC, h.env, &h.dbc), "SQLAllocHandle");
  std::string text = connectionString;
  Check(SQLDriverConnect(h.dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr,
                         0, nullptr, SQL_DRIVER_NOPROMPT),
        "SQLDriverConnect");
  h.connected = true;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &h.stmt), "SQLAllocHandle");
  std::string sql = query;
  Check(SQLExecDirect(h.stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), query.c_str());
  SQLSMALLINT columns = 0;
  Check(SQLNumResultCols(h.stmt, &columns), "SQLNumResultCols");
  Rows rows;
  SQLRETURN fetched;
  while ((fetched = SQLFetch(h.stmt)) != SQL_NO_DATA) {
    Check(fetched, "SQLFetch");
    auto& row = rows.emplace_back();
    for (SQLUSMALLINT column = 1; column <= columns; ++column) {
      row.push_back(Value(h.stmt, column));
    }
  }
  return rows;
}

}  // namespace qelto::testing_support
