#pragma once

#include <string>

#include "bench/bench_clock.h"
#include "bench/disk_watch.h"
#include "bench/memory_log_files.h"
#include "ui/activity_log.h"

namespace qelto::bench {

// What every measurement shares: the clock, the writer's activity log (kept in memory), the
// folder for the journal and rejected-calls files, and the watch on that folder's disk.
struct BenchEnv {
  explicit BenchEnv(std::string folder) : workFolder(std::move(folder)), disk(workFolder) {
    log.Open();
  }

  std::string workFolder;
  DiskWatch disk;
  BenchClock clock;
  MemoryLogFiles logFiles;
  ActivityLog log{logFiles, clock};
};

}  // namespace qelto::bench
