#include "bench/target_run.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

namespace qelto::bench {
namespace {

void FreshTable(BareConnection& connection, const BenchTarget& target, const std::string& create) {
  connection.Run("DROP TABLE IF EXISTS Pos_Calls");
  if (!target.afterDrop.empty()) connection.Run(target.afterDrop);
  connection.Run(create);
}

double Fill(BareConnection& connection, const BenchTarget& target, std::int64_t rows) {
  const auto start = std::chrono::steady_clock::now();
  connection.Run(target.bulkFill(rows));
  if (!target.afterFill.empty()) connection.Run(target.afterFill);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

RepeatedFigures Summarise(std::vector<DrainFigures> runs) {
  std::sort(runs.begin(), runs.end(),
            [](const DrainFigures& a, const DrainFigures& b) { return a.seconds < b.seconds; });
  return {runs.front(), runs[runs.size() / 2]};
}

// Leaves the database as it was found, also when a measurement failed.
class TidyUpAtEnd {
 public:
  TidyUpAtEnd(BareConnection& connection, std::string tidyUp)
      : connection_(connection), tidyUp_(std::move(tidyUp)) {}
  ~TidyUpAtEnd() {
    std::string ignored;
    connection_.Execute("DROP TABLE IF EXISTS Pos_Calls", ignored);
    if (!tidyUp_.empty()) connection_.Execute(tidyUp_, ignored);
  }
  TidyUpAtEnd(const TidyUpAtEnd&) = delete;
  TidyUpAtEnd& operator=(const TidyUpAtEnd&) = delete;

 private:
  BareConnection& connection_;
  const std::string tidyUp_;
};

// One way of writing the calls, and where its figures go.
struct Variant {
  RepeatedFigures SizeFigures::*figures;
  std::function<DrainFigures()> run;
};

class TargetRun {
 public:
  TargetRun(BenchEnv& env, const BenchTarget& target, const RunPlan& plan,
            const std::function<void(const std::string&)>& progress)
      : env_(env), target_(target), plan_(plan), progress_(progress), bare_(target.openBare()) {
    if (!target.prepare.empty()) bare_->Run(target.prepare);
    unsynced_ = target.openBare();
    unsynced_->Run(target.unsyncedCommits);
  }

  TargetFigures Run() {
    const TidyUpAtEnd tidyUp(*bare_, target_.tidyUp);
    TargetFigures figures;
    figures.name = target_.name;
    figures.rowsPerSecondGoal = target_.rowsPerSecondGoal;

    // The first writes to a new database file grow it and its log; every measured run should
    // find them grown, as in a database in daily use.
    Step("warm-up");
    FreshTable(*bare_, target_, target_.createTable);
    RunBareLoop(env_, target_, *bare_, plan_.calls);

    figures.empty = Measure("empty table", true);
    Step("latency, " + std::to_string(plan_.latencyCalls) + " calls");
    FreshTable(*bare_, target_, target_.createTable);
    figures.latency = RunLatency(env_, target_, *bare_, plan_.latencyCalls, plan_.callsPerSecond,
                                 plan_.preciseTimer);

    Step("bulk fill of " + std::to_string(plan_.fillRows) + " rows");
    FreshTable(*bare_, target_, target_.createTable);
    figures.fillSeconds = Fill(*bare_, target_, plan_.fillRows);
    figures.full = Measure("full table", false);
    Step("look-ups before insert, full table");
    figures.lookup = RunLookups(target_, *bare_, plan_.fillRows, plan_.lookups);

    Step("writer drain, full table without an index on IdNumber");
    FreshTable(*bare_, target_, target_.createUnindexedTable);
    Fill(*bare_, target_, plan_.fillRows);
    figures.unindexed =
        RunWriterDrain(env_, target_, *bare_, plan_.unindexedCalls, JournalMode::kAsBuilt);
    return figures;
  }

 private:
  void Step(const std::string& what) { progress_(target_.name + ": " + what); }

  // Every variant `repeats` times, interleaved so that a slow spell of the machine spreads over
  // all of them; each from an empty table when `freshTable`.
  SizeFigures Measure(const std::string& table, bool freshTable) {
    const int calls = plan_.calls;
    const std::vector<Variant> variants = {
        {&SizeFigures::writer, [&] { return Writer(calls, JournalMode::kAsBuilt); }},
        {&SizeFigures::writerSyncedPerRecord,
         [&] { return Writer(calls, JournalMode::kSyncedPerRecord); }},
        {&SizeFigures::writerNoStrikes, [&] { return Writer(calls, JournalMode::kNoStrikes); }},
        {&SizeFigures::layer, [&] { return RunLayerLoop(env_, target_, *bare_, calls); }},
        {&SizeFigures::bare, [&] { return RunBareLoop(env_, target_, *bare_, calls); }},
        {&SizeFigures::bareUnsynced, [&] { return RunBareLoop(env_, target_, *unsynced_, calls); }},
    };
    Step("writer drains and loops, " + table + ", " + std::to_string(plan_.repeats) + " runs of " +
         std::to_string(variants.size()) + " variants");
    std::vector<std::vector<DrainFigures>> runs(variants.size());
    for (int repeat = 0; repeat < plan_.repeats; ++repeat) {
      for (std::size_t v = 0; v < variants.size(); ++v) {
        if (freshTable) FreshTable(*bare_, target_, target_.createTable);
        runs[v].push_back(variants[v].run());
      }
    }
    SizeFigures figures;
    for (std::size_t v = 0; v < variants.size(); ++v) {
      figures.*variants[v].figures = Summarise(runs[v]);
    }
    return figures;
  }

  DrainFigures Writer(int calls, JournalMode mode) {
    return RunWriterDrain(env_, target_, *bare_, calls, mode);
  }

  BenchEnv& env_;
  const BenchTarget& target_;
  const RunPlan& plan_;
  const std::function<void(const std::string&)>& progress_;
  std::unique_ptr<BareConnection> bare_;
  std::unique_ptr<BareConnection> unsynced_;  // commits do not wait for the disk
};

}  // namespace

TargetFigures RunTarget(BenchEnv& env, const BenchTarget& target, const RunPlan& plan,
                        const std::function<void(const std::string&)>& progress) {
  return TargetRun(env, target, plan, progress).Run();
}

}  // namespace qelto::bench
