#include "bench/bare_connection.h"

#include <stdexcept>

namespace qelto::bench {

void BareConnection::Run(const std::string& sql) {
  std::string error;
  if (!Execute(sql, error)) throw std::runtime_error(sql + ": " + error);
}

std::int64_t BareConnection::Number(const std::string& sql) {
  std::string error;
  const std::optional<std::int64_t> value = QueryNumber(sql, error);
  if (!value) throw std::runtime_error(sql + ": " + error);
  return *value;
}

}  // namespace qelto::bench
