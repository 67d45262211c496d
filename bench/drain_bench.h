#pragma once

#include <string>

#include "bench/bare_connection.h"
#include "bench/bench_env.h"
#include "bench/bench_target.h"

namespace qelto::bench {

// How long it took to write `rows` calls into Pos_Calls.
struct DrainFigures {
  int rows = 0;
  double seconds = 0;

  double RowsPerSecond() const { return seconds > 0 ? rows / seconds : 0; }
  double MicrosecondsPerRow() const { return rows > 0 ? seconds * 1e6 / rows : 0; }
};

// How the call journal takes part in a writer drain.
enum class JournalMode {
  kAsBuilt,          // as the recorder runs: PosixDurableFile, strike records written per row and
                     // synced once, at the end of the drain
  kSyncedPerRecord,  // as it was before: one fdatasync per strike record
  kNoStrikes,        // calls queued unjournalled: the writer makes no strike records
};

// `calls` calls, journalled as `mode` says, are queued first; the writer then connects and drains
// them in one WriteQueuedCalls, which is what is timed. Throws std::runtime_error when the
// writer cannot connect or the table does not end up `calls` rows larger; `check` counts them.
DrainFigures RunWriterDrain(BenchEnv& env, const BenchTarget& target, BareConnection& check,
                            int calls, JournalMode mode);

// The same statements through the recorder's database layer alone (Database::Execute in a loop).
DrainFigures RunLayerLoop(BenchEnv& env, const BenchTarget& target, BareConnection& check,
                          int calls);

// The same statements through `bare`, the database's own C API.
DrainFigures RunBareLoop(BenchEnv& env, const BenchTarget& target, BareConnection& bare, int calls);

}  // namespace qelto::bench
