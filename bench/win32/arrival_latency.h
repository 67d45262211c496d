#pragma once

#include <string>

namespace qelto::bench {

struct ArrivalLatency {
  // From a call's arrival at the driver to the return of its INSERT: its row is in the table.
  double medianMs = 0;
  double p99Ms = 0;
  double maxMs = 0;
};

// Calls arrive on a driver thread of their own at `perSecond` on average (Poisson arrivals) and
// take the recorder's event path: stamped, journalled in `folder`, queued, the writer woken. The
// writer runs on its own thread, as in the recorder, also woken by a 500 ms tick, and writes into
// an SQLite file in `folder`. Throws std::runtime_error when not every call reaches the table.
ArrivalLatency MeasureArrivalLatency(const std::string& folder, int calls, double perSecond);

}  // namespace qelto::bench
