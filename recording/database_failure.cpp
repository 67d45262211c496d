#include "recording/database_failure.h"

namespace qelto {
namespace {

bool IsUniqueKeyViolation(std::string_view sqlState, std::int64_t nativeError) {
  if (sqlState == "23505") return true;  // the standard's unique_violation (PostgreSQL)
  // SQL Server and MySQL report every constraint as 23000; their numbers name the unique ones.
  constexpr std::int64_t kSqlServerUniqueConstraint = 2627;
  constexpr std::int64_t kSqlServerUniqueIndex = 2601;
  constexpr std::int64_t kMySqlDuplicateEntry = 1062;
  return sqlState == "23000" &&
         (nativeError == kSqlServerUniqueConstraint || nativeError == kSqlServerUniqueIndex ||
          nativeError == kMySqlDuplicateEntry);
}

}  // namespace

DbFailure ClassifySqlState(std::string_view sqlState, std::int64_t nativeError) {
  if (sqlState.size() != 5) return DbFailure::kUnknown;
  if (sqlState == "HYT00" || sqlState == "HYT01" || sqlState == "HY008") return DbFailure::kBusy;
  if (sqlState == "42S02" || sqlState == "42P01" || sqlState == "42S22" || sqlState == "42703") {
    return DbFailure::kTableMissing;
  }
  if (IsUniqueKeyViolation(sqlState, nativeError)) return DbFailure::kKeyCollision;
  const std::string_view sqlClass = sqlState.substr(0, 2);
  if (sqlClass == "08") return DbFailure::kConnectionLost;
  if (sqlClass == "40" || sqlClass == "53" || sqlClass == "57") return DbFailure::kBusy;
  if (sqlClass == "22" || sqlClass == "23" || sqlClass == "42") return DbFailure::kRefused;
  return DbFailure::kUnknown;
}

bool OutcomeUnknown(std::string_view sqlState) {
  if (sqlState.size() != 5) return false;
  if (sqlState == "HYT00" || sqlState == "HYT01" || sqlState == "HY008") return true;
  const std::string_view sqlClass = sqlState.substr(0, 2);
  return sqlClass == "08" || sqlClass == "57";
}

}  // namespace qelto
