#include "recording/database_failure.h"

namespace qelto {

DbFailure ClassifySqlState(std::string_view sqlState) {
  if (sqlState.size() != 5) return DbFailure::kUnknown;
  if (sqlState == "HYT00" || sqlState == "HYT01" || sqlState == "HY008") return DbFailure::kBusy;
  const std::string_view sqlClass = sqlState.substr(0, 2);
  if (sqlClass == "08") return DbFailure::kConnectionLost;
  if (sqlClass == "40" || sqlClass == "53" || sqlClass == "57") return DbFailure::kBusy;
  if (sqlClass == "22" || sqlClass == "23" || sqlClass == "42") return DbFailure::kRefused;
  return DbFailure::kUnknown;
}

}  // namespace qelto
