#include "odbc_rows.h"

#include <stdexcept>

#include "recording/odbc/odbc_text_calls.h"

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
  bool null = false;
  Check(odbc::GetText(stmt, column, value, null), "SQLGetData");
  return null ? "<NULL>" : value;
}

}  // namespace

Rows OdbcRows(const std::string& connectionString, const std::string& query) {
  Handles h;
  Check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.env), "SQLAllocHandle");
  Check(SQLSetEnvAttr(h.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        "SQLSetEnvAttr");
  Check(SQLAllocHandle(SQL_HANDLE_DBC, h.env, &h.dbc), "SQLAllocHandle");
  Check(odbc::DriverConnect(h.dbc, connectionString), "SQLDriverConnect");
  h.connected = true;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &h.stmt), "SQLAllocHandle");
  Check(odbc::ExecDirect(h.stmt, query), query.c_str());
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
