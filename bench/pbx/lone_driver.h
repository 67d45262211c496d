#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "call_ledger.h"
#include "loaded_driver.h"

namespace qelto::bench {

// Our driver loaded alone into this process (a LoadedDriver) and sent the same calls as the
// recorder's: its call events set against the calls sent, and timed for the paced ones, so its
// memory and its part of a call's latency are measured apart from the recorder's. One per
// process, as the driver is.
class LoneDriver {
 public:
  using Clock = std::chrono::steady_clock;

  // Loads `library` into `folder` for the system at 127.0.0.1:`port`, with room for `calls`
  // calls, and waits until it is logged in; check problem().
  LoneDriver(const std::string& library, const std::string& folder, int port, std::size_t calls);
  ~LoneDriver();
  LoneDriver(const LoneDriver&) = delete;
  LoneDriver& operator=(const LoneDriver&) = delete;

  const std::string& problem() const { return problem_; }
  // Call `index` is about to be sent at `when`.
  void Sent(std::size_t index, Expected expected, Clock::time_point when);
  // From now on, the calls [first, first + count) are timed.
  void BeginPaced(std::size_t first, std::size_t count);
  // Waits until every call event due came; false when one is still missing after `patience`.
  bool WaitForAll(std::chrono::seconds patience);
  std::vector<double> PacedMilliseconds();
  std::string Problems();

 private:
  LoadedDriver driver_;
  std::string problem_;
};

}  // namespace qelto::bench
