#include "recording/odbc/odbc_database.h"

#include <algorithm>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "recording/database_failure.h"
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

std::string DiagnosticMessage(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, bool& found,
                              std::string& sqlState, SQLINTEGER& nativeError) {
  std::string message;
  found = SQL_SUCCEEDED(odbc::DiagnosticText(type, handle, record, message, sqlState, nativeError));
  return found ? OneLine(message) : std::string();
}

// The messages of the diagnostic records of `handle`, joined by "; ", each told once (drivers
// repeat themselves when they retry), and the kind of failure that the first record's SQLSTATE
// names. `call` names the failed function for the rare driver that fails without saying why.
DbError Diagnosis(SQLSMALLINT type, SQLHANDLE handle, const char* call) {
  std::vector<std::string> messages;
  std::string firstState;
  SQLINTEGER firstNative = 0;
  bool found = true;
  for (SQLSMALLINT record = 1; found && handle != SQL_NULL_HANDLE; ++record) {
    std::string state;
    SQLINTEGER native = 0;
    std::string message = DiagnosticMessage(type, handle, record, found, state, native);
    if (found && firstState.empty()) {
      firstState = state;
      firstNative = native;
    }
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
  return DbError{ClassifySqlState(firstState, firstNative), text, OutcomeUnknown(firstState)};
}

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle, const char* call) {
  return Diagnosis(type, handle, call).message;
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

  // Runs `statement` to its end. With `number`, the first column of the first row is stored
  // there (0 without a row).
  bool Run(const std::string& statement, std::chrono::milliseconds limit, DbError& error,
           std::int64_t* number = nullptr) {
    Handle<SQL_HANDLE_STMT> stmt;
    if (!stmt.Allocate(dbc_.get())) {
      error = Diagnosis(SQL_HANDLE_DBC, dbc_.get(), "SQLAllocHandle");
      return false;
    }
    SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(Seconds(limit)),
                   0);
    Running running(*this, stmt.get());
    SQLRETURN result = odbc::ExecDirect(stmt.get(), statement);
    if (number != nullptr && SQL_SUCCEEDED(result)) result = FetchNumber(stmt.get(), *number);
    // A batch reports the failure of a later part only when its result is reached.
    while (SQL_SUCCEEDED(result)) result = SQLMoreResults(stmt.get());
    if (!Succeeded(result)) {
      error = Diagnosis(SQL_HANDLE_STMT, stmt.get(), "SQLExecDirect");
      if (running.Cancelled() && error.kind == DbFailure::kUnknown) {
        error.kind = DbFailure::kBusy;
        error.outcomeUnknown = true;  // the cancel may have come after the commit
      }
      return false;
    }
    return true;
  }

  // Called from another thread: stops the statement that runs now, if any.
  void Cancel() {
    std::lock_guard guard(runningLock_);
    cancelled_ = true;
    if (running_ != SQL_NULL_HANDLE) SQLCancel(running_);
  }

 private:
  // Publishes the statement handle that runs, so that Cancel() can reach it, for as long as it
  // runs. The handle is freed only after this is gone.
  class Running {
   public:
    Running(Connection& connection, SQLHANDLE stmt) : connection_(connection) {
      std::lock_guard guard(connection_.runningLock_);
      connection_.cancelled_ = false;
      connection_.running_ = stmt;
    }
    ~Running() {
      std::lock_guard guard(connection_.runningLock_);
      connection_.running_ = SQL_NULL_HANDLE;
    }
    bool Cancelled() const {
      std::lock_guard guard(connection_.runningLock_);
      return connection_.cancelled_;
    }

   private:
    Connection& connection_;
  };

  static SQLRETURN FetchNumber(SQLHANDLE stmt, std::int64_t& number) {
    number = 0;
    SQLRETURN result = SQLFetch(stmt);
    if (result == SQL_NO_DATA) return SQL_SUCCESS;
    if (!SQL_SUCCEEDED(result)) return result;
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    result = SQLGetData(stmt, 1, SQL_C_SBIGINT, &value, sizeof value, &indicator);
    if (SQL_SUCCEEDED(result) && indicator != SQL_NULL_DATA) number = value;
    if (SQL_SUCCEEDED(result)) SQLCloseCursor(stmt);
    return result;
  }

  void SetTimeout(SQLINTEGER attribute, std::chrono::milliseconds limit) {
    SQLSetConnectAttr(dbc_.get(), attribute, reinterpret_cast<SQLPOINTER>(Seconds(limit)), 0);
  }

  // Declared in this order so that the connection is freed before its environment.
  Handle<SQL_HANDLE_ENV> env_;
  Handle<SQL_HANDLE_DBC> dbc_;
  bool connected_ = false;
  mutable std::mutex runningLock_;  // guards running_ and cancelled_ against Cancel()
  SQLHANDLE running_ = SQL_NULL_HANDLE;
  bool cancelled_ = false;
};

OdbcDatabase::OdbcDatabase(std::string connectionString, SqlDialect dialect,
                           DatabaseTimeouts timeouts)
    : connectionString_(std::move(connectionString)), dialect_(dialect), timeouts_(timeouts) {}

OdbcDatabase::~OdbcDatabase() = default;

bool OdbcDatabase::Open(std::string& error) {
  Close();
  auto connection = std::make_unique<Connection>();
  if (!connection->Connect(connectionString_, timeouts_, error)) return false;
  std::lock_guard guard(connectionLock_);
  connection_ = std::move(connection);
  return true;
}

bool OdbcDatabase::Connected() const {
  return connection_ != nullptr && !connection_->Dead();
}

void OdbcDatabase::Close() {
  std::unique_ptr<Connection> closing;
  {
    std::lock_guard guard(connectionLock_);
    closing = std::move(connection_);
  }
}

bool OdbcDatabase::Execute(const std::string& statement, DbError& error) {
  if (!connection_) {
    error = {DbFailure::kConnectionLost, "The database connection is not open."};
    return false;
  }
  return connection_->Run(statement, timeouts_.statement, error);
}

std::optional<std::int64_t> OdbcDatabase::QueryNumber(const std::string& query, DbError& error) {
  if (!connection_) {
    error = {DbFailure::kConnectionLost, "The database connection is not open."};
    return std::nullopt;
  }
  std::int64_t number = 0;
  if (!connection_->Run(query, timeouts_.statement, error, &number)) return std::nullopt;
  return number;
}

void OdbcDatabase::Cancel() {
  std::lock_guard guard(connectionLock_);
  if (connection_) connection_->Cancel();
}

}  // namespace qelto
