#include "recording/database_failure.h"

#include <gtest/gtest.h>

namespace qelto {
namespace {

TEST(ClassifySqlState, TellsTheCallsFaultFromTheServers) {
  const struct {
    const char* state;
    DbFailure kind;
  } cases[] = {
      {"08S01", DbFailure::kConnectionLost},
      {"08001", DbFailure::kConnectionLost},
      {"40001", DbFailure::kBusy},
      {"53100", DbFailure::kBusy},
      {"57P01", DbFailure::kBusy},
      {"HYT00", DbFailure::kBusy},
      {"HYT01", DbFailure::kBusy},
      {"HY008", DbFailure::kBusy},
      {"22001", DbFailure::kRefused},
      {"23505", DbFailure::kRefused},
      {"42S02", DbFailure::kRefused},
      {"42601", DbFailure::kRefused},
      {"HY000", DbFailure::kUnknown},
      {"01004", DbFailure::kUnknown},
      {"", DbFailure::kUnknown},
      {"0800", DbFailure::kUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassifySqlState(c.state), c.kind) << c.state;
}

}  // namespace
}  // namespace qelto
