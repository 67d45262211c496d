#include "recording/database_failure.h"

#include <gtest/gtest.h>

namespace qelto {
namespace {

TEST(ClassifySqlState, TellsTheCallsFaultFromTheServers) {
  const struct {
    const char* state;
    std::int64_t native;
    DbFailure kind;
    bool outcomeUnknown;
  } cases[] = {
      {"08S01", 0, DbFailure::kConnectionLost, true},
      {"08001", 0, DbFailure::kConnectionLost, true},
      {"40001", 0, DbFailure::kBusy, false},
      {"53100", 0, DbFailure::kBusy, false},
      {"57P01", 0, DbFailure::kBusy, true},
      {"HYT00", 0, DbFailure::kBusy, true},
      {"HYT01", 0, DbFailure::kBusy, true},
      {"HY008", 0, DbFailure::kBusy, true},
      {"22001", 0, DbFailure::kRefused, false},
      {"23505", 7, DbFailure::kKeyCollision, false},
      {"23000", 2627, DbFailure::kKeyCollision, false},
      {"23000", 2601, DbFailure::kKeyCollision, false},
      {"23000", 1062, DbFailure::kKeyCollision, false},
      {"23000", 515, DbFailure::kRefused, false},  // SQL Server: NULL into a NOT NULL column
      {"23502", 0, DbFailure::kRefused, false},
      {"42S02", 0, DbFailure::kTableMissing, false},
      {"42P01", 0, DbFailure::kTableMissing, false},
      {"42S22", 0, DbFailure::kTableMissing, false},
      {"42703", 0, DbFailure::kTableMissing, false},
      {"42601", 0, DbFailure::kRefused, false},
      {"HY000", 0, DbFailure::kUnknown, false},
      {"01004", 0, DbFailure::kUnknown, false},
      {"", 0, DbFailure::kUnknown, false},
      {"0800", 0, DbFailure::kUnknown, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClassifySqlState(c.state, c.native), c.kind) << c.state << " " << c.native;
    EXPECT_EQ(OutcomeUnknown(c.state), c.outcomeUnknown) << c.state;
  }
}

}  // namespace
}  // namespace qelto
