#include "recording/odbc/odbc_database.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "recording/odbc/odbc_text_calls.h"

namespace qelto {
namespace {

// Owns one ODBC handle of kind `kType` and frees it at the end.
template <SQLSMALLINT kType>
class Handle {
 public:
  Handle() = default;
  ~Handle() {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(kType, handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  // Allocates the handle under `parent`; false when the driver manager refuses.
  bool Allocate(SQLHANDLE parent) { return SQL_SUCCEEDED(SQLAllocHandle(kType, parent, &handle_)); }
  SQLHANDLE get() const { return handle_; }

 private:
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// ODBC time-outs are whole seconds and 0 means none: round up, never down to 0.
SQLULEN Seconds(std::chrono::milliseconds limit) {
  const auto seconds = (std::max<std::chrono::milliseconds::rep>(limit.count(), 1) + 999) / 1000;
  return static_cast<SQLULEN>(seconds);
}

// One diagnostic message on one line, as the activity log takes it: drivers end messages with
// line breaks or spread them over several lines with tabs. Runs of blanks become one space.
std::string OneLine(std::string_view text) {
  std::string line;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (c == ' ' && (line.empty() || line.back() == ' ')) continue;
    line += c;
  }
  if (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::string DiagnosticMessage(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, bool& found) {
  std::string message;
  found = SQL_SUCCEEDED(odbc::DiagnosticText(type, handle, record, message));
  return found ? OneLine(message) : std::string();
}

// The messages of the diagnostic records of `handle`, joined by "; ", each told once (drivers
// repeat themselves when they retry). `call` names the failed function for the rare driver that
// fails without saying why.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle, const char* call) {
  std::vector<std::string> messages;
  bool found = true;
  for (SQLSMALLINT record = 1; found && handle != SQL_NULL_HANDLE; ++record) {
    std::string message = DiagnosticMessage(type, handle, record, found);
    if (!found || message.empty()) continue;
    if (std::find(messages.begin(), messages.end(), message) == messages.end()) {
      messages.push_back(std::move(message));
    }
  }
  std::string text;
  for (const auto& message : messages) {
    if (!text.empty()) text += "; ";
    text += message;
  }
  if (text.empty()) text = std::string(call) + " failed without a diagnostic message";
  return text;
}

bool Succeeded(SQLRETURN result) {
  return SQL_SUCCEEDED(result) || result == SQL_NO_DATA;
}

}  // namespace

class OdbcDatabase::Connection {
 public:
  ~Connection() {
    if (connected_) SQLDisconnect(dbc_.get());
  }

  bool Connect(const std::string& connectionString, const DatabaseTimeouts& timeouts,
               std::string& error) {
    if (!env_.Allocate(SQL_NULL_HANDLE)) {
      error = "The ODBC driver manager cannot allocate an environment.";
      return false;
    }
    SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!dbc_.Allocate(env_.get())) {
      error = Diagnostics(SQL_HANDLE_ENV, env_.get(), "SQLAllocHandle");
      return false;
    }
    SetTimeout(SQL_ATTR_LOGIN_TIMEOUT, timeouts.connect);
    SetTimeout(SQL_ATTR_CONNECTION_TIMEOUT, timeouts.statement);
    const SQLRETURN result = odbc::DriverConnect(dbc_.get(), connectionString);
    if (!SQL_SUCCEEDED(result)) {
      error = Diagnostics(SQL_HANDLE_DBC, dbc_.get(), "SQLDriverConnect");
      return false;
    }
    connected_ = true;
    SQLSetConnectAttr(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    return true;
  }

  bool Dead() const {
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN result =
        SQLGetConnectAttr(dbc_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return SQL_SUCCEEDED(result) && dead == SQL_CD_TRUE;
  }

  bool Execute(const std::string& statement, std::chrono::milliseconds limit, std::string& error) {
    Handle<SQL_HANDLE_STMT> stmt;
    if (!stmt.Allocate(dbc_.get())) {
      error = Diagnostics(SQL_HANDLE_DBC, dbc_.get(), "SQLAllocHandle");
      return false;
    }
    SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(Seconds(limit)),
                   0);
    SQLRETURN result = odbc::ExecDirect(stmt.get(), statement);
    // A batch reports the failure of a later part only when its result is reached.
    while (SQL_SUCCEEDED(result)) result = SQLMoreResults(stmt.get());
    if (!Succeeded(result)) {
      error = Diagnostics(SQL_HANDLE_STMT, stmt.get(), "SQLExecDirect");
      return false;
    }
    return true;
  }

 private:
  void SetTimeout(SQLINTEGER attribute, std::chrono::milliseconds limit) {
    SQLSetConnectAttr(dbc_.get(), attribute, reinterpret_cast<SQLPOINTER>(Seconds(limit)), 0);
  }

  // Declared in this order so that the connection is freed before its environment.
  Handle<SQL_HANDLE_ENV> env_;
  Handle<SQL_HANDLE_DBC> dbc_;
  bool connected_ = false;
};

OdbcDatabase::OdbcDatabase(std::string connectionString, SqlDialect dialect,
                           DatabaseTimeouts timeouts)
    : connectionString_(std::move(connectionString)), dialect_(dialect), timeouts_(timeouts) {}

OdbcDatabase::~OdbcDatabase() = default;

bool OdbcDatabase::Open(std::string& error) {
  Close();
  auto connection = std::make_unique<Connection>();
  if (!connection->Connect(connectionString_, timeouts_, error)) return false;
  connection_ = std::move(connection);
  return true;
}

bool OdbcDatabase::Connected() const {
  return connection_ != nullptr && !connection_->Dead();
}

void OdbcDatabase::Close() {
  connection_.reset();
}

bool OdbcDatabase::Execute(const std::string& statement, std::string& error) {
  if (!connection_) {
    error = "The database connection is not open.";
    return false;
  }
  return connection_->Execute(statement, timeouts_.statement, error);
}

}  // namespace qelto
