#pragma once

#include <optional>
#include <string>

#include "bench/bench_target.h"
#include "bench/target_run.h"

namespace qelto::bench {

struct BenchOptions {
  std::string workFolder;  // the SQLite file, the call journal and the rejected-calls file
  bool runSqlite = true;
  bool runPostgres = true;
  PostgresAccess postgres{"", "recorder", "pw", "", "qelto_bench"};
  RunPlan plan;
};

// Reads the command line; nullopt with `error` set when it cannot be used.
std::optional<BenchOptions> ParseBenchOptions(int argc, char** argv, std::string& error);

extern const char* const kBenchUsage;

}  // namespace qelto::bench
