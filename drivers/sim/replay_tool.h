#pragma once

#include <ostream>

#include "drivers/sim/tool_arguments.h"

namespace qelto::cidr {

// Carries out "qelto-cidr-sim replay": reads the raw data file and the settings the request
// names, replays them (see RawReplay) and prints each line's rows to `out`, problems to `err`.
// Returns the exit status: 0 when the file and the settings were read whole, 1 otherwise.
int RunReplay(const ToolRequest& request, std::ostream& out, std::ostream& err);

// The largest raw data file replayed: the driver begins a new one at 10 MB.
inline constexpr std::uintmax_t kMaxReplayBytes = 64U << 20U;

}  // namespace qelto::cidr
