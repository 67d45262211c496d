// The bare SQLite loop: sqlite3_exec on a connection of its own, with the same journal mode as the
// recorder's (write-ahead log) and SQLite's default synchronous setting, as the recorder has.
#include <sqlite3.h>

#include <charconv>
#include <stdexcept>

#include "bench/bare_connection.h"

namespace qelto::bench {
namespace {

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FreeMessage {
  void operator()(char* message) const { sqlite3_free(message); }
};

class BareSqlite : public BareConnection {
 public:
  explicit BareSqlite(sqlite3* db) : db_(db) {}

  bool Execute(const std::string& sql, std::string& error) override {
    char* raw = nullptr;
    const int result = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &raw);
    std::unique_ptr<char, FreeMessage> message(raw);
    if (result == SQLITE_OK) return true;
    error = message ? message.get() : sqlite3_errstr(result);
    return false;
  }

  std::optional<std::int64_t> QueryNumber(const std::string& sql, std::string& error) override {
    std::optional<std::int64_t> value;
    char* raw = nullptr;
    const int result = sqlite3_exec(db_.get(), sql.c_str(), &FirstValue, &value, &raw);
    std::unique_ptr<char, FreeMessage> message(raw);
    if (result != SQLITE_OK) {
      error = message ? message.get() : sqlite3_errstr(result);
      return std::nullopt;
    }
    if (!value) error = "no number in the result";
    return value;
  }

 private:
  static int FirstValue(void* target, int columns, char** values, char**) {
    auto& value = *static_cast<std::optional<std::int64_t>*>(target);
    if (value || columns < 1 || values[0] == nullptr) return 0;
    const std::string_view text(values[0]);
    std::int64_t number = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), number).ec == std::errc()) {
      value = number;
    }
    return 0;
  }

  std::unique_ptr<sqlite3, CloseDatabase> db_;
};

}  // namespace

std::unique_ptr<BareConnection> OpenBareSqlite(const std::string& path) {
  sqlite3* raw = nullptr;
  const int result =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  auto connection = std::make_unique<BareSqlite>(raw);
  if (result != SQLITE_OK) {
    throw std::runtime_error("SQLite \"" + path + "\": " + sqlite3_errstr(result));
  }
  sqlite3_busy_timeout(raw, 30000);
  connection->Run("PRAGMA journal_mode=WAL");
  return connection;
}

}  // namespace qelto::bench
