#pragma once

#include "bench/bare_connection.h"
#include "bench/bench_env.h"
#include "bench/bench_target.h"
#include "bench/disk_watch.h"

namespace qelto::bench {

struct LatencyFigures {
  int calls = 0;
  // From a call's arrival at the driver to the return of its INSERT: its row is in the table.
  double medianMs = 0;
  double p99Ms = 0;
  double maxMs = 0;
  // How long the driver's thread spent in the event side (journal record and queue append).
  double eventSideMedianMs = 0;
  double eventSideP99Ms = 0;
  // The longest time between two ticks of the 500 ms timer.
  double longestTickGapMs = 0;
  // The disk's own fdatasync while the run lasted.
  DiskWatch::Stats disk;
};

// Calls arrive on a driver thread of their own at `perSecond` on average (Poisson arrivals: the
// gaps are random, as a shop's calls are) and take the recorder's event path: stamped, journalled,
// queued, and the writer woken. The writer runs on its own thread, as in the recorder, woken by
// each arrival and by the tick of a 500 ms QTimer on this thread, with the connection opened
// before the first call. Needs a QCoreApplication. Throws std::runtime_error when not every call
// reaches the table.
LatencyFigures RunLatency(BenchEnv& env, const BenchTarget& target, BareConnection& check,
                          int calls, double perSecond, bool preciseTimer);

}  // namespace qelto::bench
