#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "bench/disk_watch.h"
#include "bench/target_run.h"

namespace qelto::bench {

// The goals the figures are held against; they are printed, not enforced.
inline constexpr double kRatioGoal = 0.9;        // writer rows/s over bare rows/s
inline constexpr double kLatencyP99GoalMs = 50;  // call to row, 99th percentile
inline constexpr double kLookupGoalMs = 1;       // look-up before a recovered call's INSERT
inline constexpr double kGrowthTolerance = 1.2;  // per-row cost, full table over empty

// Prints what the disk did, the figures of every target side by side, each against its goal, then
// a summary of the goals and the lines the writer logged.
void PrintReport(std::ostream& out, const std::vector<TargetFigures>& targets, const RunPlan& plan,
                 const DiskWatch::Stats& disk, const std::vector<std::string>& writerLog);

}  // namespace qelto::bench
