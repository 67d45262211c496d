#pragma once

#include <cstdint>

#include "bench/bare_connection.h"
#include "bench/bench_target.h"

namespace qelto::bench {

// The look-up the writer makes before it inserts a call whose row may be there already (every
// call recovered at start): milliseconds per look-up.
struct LookupSample {
  int lookups = 0;  // of each kind
  double foundMedianMs = 0;
  double foundP99Ms = 0;
  double missingMedianMs = 0;
  double missingP99Ms = 0;
};

struct LookupFigures {
  std::int64_t tableRows = 0;
  LookupSample asFound;    // by the call's values alone, the table as the recorder finds it
  LookupSample windowed;   // the recorder's: among the rows numbered since its INSERT was sent
  LookupSample withIndex;  // by the values alone, with the index earlier versions made
};

// On the table of the bulk fill (its first `filledRows` rows "1", "0912<i>", 04/01/01, "10:00:00",
// and the rows of the drains after them), looks up calls whose
// row is there and as many whose row is not, through the recorder's own database layer, as the
// writer does: up to `lookups` of each, fewer when a slow table would take more than a few
// seconds; the same among the rows numbered since each call's INSERT was sent; then by the values
// alone once more after `bare` made the index earlier versions made. Throws std::runtime_error when
// the database cannot be reached or a look-up answers wrongly.
LookupFigures RunLookups(const BenchTarget& target, BareConnection& bare, std::int64_t filledRows,
                         int lookups);

}  // namespace qelto::bench
