#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/clock.h"

namespace qelto {

// A call waiting to be written to the database.
struct QueuedCall {
  std::uint64_t id = 0;  // its number in the call journal; 0 when it is not journalled
  LocalDateTime moment;  // when the driver reported it: the row is stamped with this moment
  std::string line;      // the call queue line, e.g. "3,123456"
  // The tick at which it joined this run's queue (the start, for a call left in the journal by an
  // earlier run): how long it has waited to be written.
  std::uint32_t queuedTick = 0;
  int failures = 0;  // INSERTs of it that the database refused
  // Its row may already be in the table: it was recovered after a restart, or its INSERT ended
  // without an answer. The writer looks it up before inserting it.
  bool mayBeWritten = false;
  // Calls with the same moment and line that the journal showed written when this call was
  // recovered: rows with its values that are not its own.
  int writtenTwins = 0;
  // The highest IdNumber seen before its last INSERT was sent: its row, if that INSERT was
  // carried out, is numbered above it. Unknown for a call not yet sent, or journalled by an
  // earlier version.
  std::optional<std::int64_t> sentAbove;
  // Its entry among the recent calls the status window shows; 0 when it has none.
  std::uint64_t recentKey = 0;
};

}  // namespace qelto
