// The bare PostgreSQL loop: PQexec on a libpq connection of its own, in autocommit, with the
// server's own defaults (synchronous_commit on), as the recorder's ODBC connection has.
#include <libpq-fe.h>

#include <charconv>
#include <stdexcept>

#include "bench/bare_connection.h"

namespace qelto::bench {
namespace {

struct FinishConnection {
  void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ClearResult {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ClearResult>;

std::string OneLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  for (char& c : text) {
    if (c == '\n' || c == '\t') c = ' ';
  }
  return text;
}

class BarePostgres : public BareConnection {
 public:
  explicit BarePostgres(PGconn* connection) : connection_(connection) {}

  bool Execute(const std::string& sql, std::string& error) override {
    return Exec(sql, error) != nullptr;
  }

  std::optional<std::int64_t> QueryNumber(const std::string& sql, std::string& error) override {
    const Result result = Exec(sql, error);
    if (!result) return std::nullopt;
    if (PQntuples(result.get()) < 1 || PQnfields(result.get()) < 1) {
      error = "no rows in the result";
      return std::nullopt;
    }
    const std::string_view text(PQgetvalue(result.get(), 0, 0));
    std::int64_t number = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), number).ec != std::errc()) {
      error = "not a number: " + std::string(text);
      return std::nullopt;
    }
    return number;
  }

 private:
  // The result when the statement succeeded, null (with the message) when it failed.
  Result Exec(const std::string& sql, std::string& error) {
    Result result(PQexec(connection_.get(), sql.c_str()));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
    error = OneLine(PQerrorMessage(connection_.get()));
    return nullptr;
  }

  std::unique_ptr<PGconn, FinishConnection> connection_;
};

}  // namespace

std::unique_ptr<BareConnection> OpenBarePostgres(const std::string& conninfo) {
  PGconn* raw = PQconnectdb(conninfo.c_str());
  auto connection = std::make_unique<BarePostgres>(raw);
  // The server's notices ("table does not exist, skipping") would clutter the figures.
  if (raw != nullptr)
    PQsetNoticeProcessor(
        raw, [](void*, const char*) {}, nullptr);
  if (raw == nullptr || PQstatus(raw) != CONNECTION_OK) {
    // Not the connection info itself: it holds the password.
    throw std::runtime_error("PostgreSQL: " +
                             (raw ? OneLine(PQerrorMessage(raw)) : std::string("out of memory")));
  }
  return connection;
}

}  // namespace qelto::bench
