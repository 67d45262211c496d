#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "bench/bench_env.h"
#include "bench/bench_target.h"
#include "bench/drain_bench.h"
#include "bench/latency_bench.h"
#include "bench/lookup_bench.h"

namespace qelto::bench {

struct RunPlan {
  int calls = 10000;  // per drain and per loop
  int repeats = 3;    // runs of each drain and loop
  int latencyCalls = 1000;
  double callsPerSecond = 20;  // arrivals in the latency run
  std::int64_t fillRows = 1000000;
  int unindexedCalls = 100;  // the drain on a table without an index on IdNumber
  int lookups = 1000;        // look-ups before insert of each kind (row there, row not there)
  // The latency run's timer: coarse, the toolkit's default and the recorder's, may fire up to 5%
  // late; precise keeps to the millisecond.
  bool preciseTimer = false;
};

// The repeats of one measurement: the fastest, which shows what the code does when the machine
// leaves it alone, and the median.
struct RepeatedFigures {
  DrainFigures best;
  DrainFigures median;
};

// Figures at one table size: the writer as the recorder runs it, two variants of its journal, the
// recorder's database layer alone, and the bare C API loop.
struct SizeFigures {
  RepeatedFigures writer;                 // the recorder as it is: strikes synced once per drain
  RepeatedFigures writerSyncedPerRecord;  // as before: one fdatasync per strike record
  RepeatedFigures writerNoStrikes;        // no strike records
  RepeatedFigures layer;                  // Database::Execute in a loop
  RepeatedFigures bare;                   // the database's own C API
  RepeatedFigures bareUnsynced;           // the same, commits not waiting for the disk
};

struct TargetFigures {
  std::string name;
  double rowsPerSecondGoal = 0;
  SizeFigures empty;  // each run starting from an empty table
  SizeFigures full;   // runs one after another on a table of fillRows rows
  LatencyFigures latency;
  double fillSeconds = 0;
  DrainFigures unindexed;  // writer drain with no index on IdNumber, fillRows rows in the table
  LookupFigures lookup;    // look-ups before a recovered call's INSERT, on the full table
};

// Runs every measurement on `target`; `progress` hears what is being done.
TargetFigures RunTarget(BenchEnv& env, const BenchTarget& target, const RunPlan& plan,
                        const std::function<void(const std::string&)>& progress);

}  // namespace qelto::bench
