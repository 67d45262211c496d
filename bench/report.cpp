#include "bench/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iomanip>
#include <optional>
#include <string_view>

namespace qelto::bench {
namespace {

constexpr int kLabelWidth = 49;
constexpr int kValueWidth = 20;
constexpr int kMarkWidth = 8;

// `value` with `decimals` decimals and thousands grouped by commas: 12,345.6
std::string Number(double value, int decimals = 0) {
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.*f", decimals, std::fabs(value));
  const std::string_view plain(digits);
  const std::size_t whole = std::min(plain.find('.'), plain.size());
  std::string text = value < 0 ? "-" : "";
  for (std::size_t i = 0; i < whole; ++i) {
    if (i > 0 && (whole - i) % 3 == 0) text += ',';
    text += plain[i];
  }
  text += plain.substr(whole);
  return text;
}

struct Cell {
  std::string value;
  // Set when the cell has a goal: whether it was met.
  std::optional<bool> met;
};

class Table {
 public:
  Table(std::ostream& out, const std::vector<TargetFigures>& targets)
      : out_(out), targets_(targets) {}

  void Heading() {
    out_ << std::left << std::setw(kLabelWidth) << "";
    for (const auto& target : targets_) out_ << std::setw(kValueWidth + kMarkWidth) << target.name;
    out_ << "Goal\n";
  }

  void Section(const std::string& title) { out_ << "\n" << title << "\n"; }

  // One row: the label, a cell per target made by `cell`, and the goal's text.
  void Row(const std::string& label, const std::function<Cell(const TargetFigures&)>& cell,
           const std::string& goal = "") {
    out_ << std::left << std::setw(kLabelWidth) << "   " + label;
    for (const auto& target : targets_) {
      const Cell c = cell(target);
      out_ << std::setw(kValueWidth) << c.value << std::setw(kMarkWidth)
           << (c.met ? (*c.met ? "ok" : "MISSED") : "");
      if (c.met) Tally(*c.met, target.name + ": " + label + " " + c.value + " (goal " + goal + ")");
    }
    out_ << goal << "\n";
  }

  void Summary() {
    out_ << "\nGoals: " << met_ << " met, " << missed_.size() << " missed\n";
    for (const auto& miss : missed_) out_ << "  MISSED " << miss << "\n";
  }

 private:
  void Tally(bool met, const std::string& what) {
    if (met) {
      ++met_;
    } else {
      missed_.push_back(what);
    }
  }

  std::ostream& out_;
  const std::vector<TargetFigures>& targets_;
  int met_ = 0;
  std::vector<std::string> missed_;
};

double Ratio(const RepeatedFigures& writer, const RepeatedFigures& bare) {
  const double bareRate = bare.best.RowsPerSecond();
  return bareRate > 0 ? writer.best.RowsPerSecond() / bareRate : 0;
}

double Growth(const RepeatedFigures& empty, const RepeatedFigures& full) {
  const double emptyCost = empty.best.MicrosecondsPerRow();
  return emptyCost > 0 ? full.best.MicrosecondsPerRow() / emptyCost : 0;
}

// "best (median)" rows per second, and whether the best meets `goal` when there is one.
Cell RowsPerSecond(const RepeatedFigures& figures, double goal = 0) {
  const double best = figures.best.RowsPerSecond();
  return {Number(best) + " (" + Number(figures.median.RowsPerSecond()) + ")",
          goal > 0 ? std::optional<bool>(best >= goal) : std::nullopt};
}

Cell RatioCell(const RepeatedFigures& writer, const RepeatedFigures& bare, bool withGoal) {
  const double ratio = Ratio(writer, bare);
  return {Number(ratio, 2), withGoal ? std::optional<bool>(ratio >= kRatioGoal) : std::nullopt};
}

Cell GrowthCell(const RepeatedFigures& empty, const RepeatedFigures& full, bool withGoal) {
  const double growth = Growth(empty, full);
  return {Number(empty.best.MicrosecondsPerRow()) + " -> " +
              Number(full.best.MicrosecondsPerRow()) + " x" + Number(growth, 2),
          withGoal ? std::optional<bool>(growth <= kGrowthTolerance) : std::nullopt};
}

Cell Milliseconds(double ms, int decimals = 1) {
  return {Number(ms, decimals), std::nullopt};
}

void DrainSection(Table& table, const RunPlan& plan) {
  table.Section("1  Drain of " + Number(plan.calls) +
                " queued calls in one tick, empty table: rows/s, fastest of " +
                Number(plan.repeats) + " runs (median)");
  table.Row(
      "writer, as built (strikes synced per drain)",
      [](const TargetFigures& t) { return RowsPerSecond(t.empty.writer, t.rowsPerSecondGoal); },
      ">= 2,000 SQLite, >= 1,000 PostgreSQL");
  table.Row("writer, journal synced per record (before)",
            [](const TargetFigures& t) { return RowsPerSecond(t.empty.writerSyncedPerRecord); });
  table.Row("writer, no strike records",
            [](const TargetFigures& t) { return RowsPerSecond(t.empty.writerNoStrikes); });
  table.Row("database layer alone (Database::Execute)",
            [](const TargetFigures& t) { return RowsPerSecond(t.empty.layer); });

  table.Section("4  Bare C API loop, the same statements, empty table: rows/s (median)");
  table.Row("sqlite3_exec / PQexec",
            [](const TargetFigures& t) { return RowsPerSecond(t.empty.bare); });
  table.Row("the same, commits not waiting for the disk",
            [](const TargetFigures& t) { return RowsPerSecond(t.empty.bareUnsynced); });
  table.Row(
      "ratio writer (as built) / bare",
      [](const TargetFigures& t) { return RatioCell(t.empty.writer, t.empty.bare, true); },
      ">= 0.90");
  table.Row("ratio writer, per-record sync (before) / bare", [](const TargetFigures& t) {
    return RatioCell(t.empty.writerSyncedPerRecord, t.empty.bare, false);
  });
  table.Row("ratio writer, no strike records / bare", [](const TargetFigures& t) {
    return RatioCell(t.empty.writerNoStrikes, t.empty.bare, false);
  });
  table.Row("ratio database layer / bare",
            [](const TargetFigures& t) { return RatioCell(t.empty.layer, t.empty.bare, false); });
}

void LatencySection(Table& table, const RunPlan& plan) {
  table.Section("2  Latency from a call's arrival to its row (its INSERT returned, ms), " +
                Number(plan.latencyCalls) + " calls, Poisson arrivals at " +
                Number(plan.callsPerSecond) + "/s, writer thread woken by each call and by a " +
                "500 ms " + (plan.preciseTimer ? "precise" : "coarse") + " timer");
  table.Row("median", [](const TargetFigures& t) { return Milliseconds(t.latency.medianMs); });
  table.Row(
      "99th percentile",
      [](const TargetFigures& t) {
        return Cell{Number(t.latency.p99Ms, 1), t.latency.p99Ms <= kLatencyP99GoalMs};
      },
      "<= " + Number(kLatencyP99GoalMs));
  table.Row("maximum", [](const TargetFigures& t) { return Milliseconds(t.latency.maxMs); });
  table.Row("driver thread in journal + queue, median/p99", [](const TargetFigures& t) {
    return Cell{
        Number(t.latency.eventSideMedianMs, 2) + " / " + Number(t.latency.eventSideP99Ms, 2), {}};
  });
  table.Row("longest gap between two ticks",
            [](const TargetFigures& t) { return Milliseconds(t.latency.longestTickGapMs); });
  table.Row("disk's fdatasync meanwhile, median/p99/max", [](const TargetFigures& t) {
    const DiskWatch::Stats& disk = t.latency.disk;
    return Cell{
        Number(disk.medianMs, 1) + "/" + Number(disk.p99Ms, 0) + "/" + Number(disk.maxMs, 0), {}};
  });
}

void GrowthSection(Table& table, const RunPlan& plan) {
  table.Section("3  Cost per row (us), empty table -> " +
                Number(static_cast<double>(plan.fillRows)) + " rows, growth (fastest runs)");
  const std::string goal = "no growth (<= x" + Number(kGrowthTolerance, 2) + ")";
  table.Row(
      "writer, as built (strikes synced per drain)",
      [](const TargetFigures& t) { return GrowthCell(t.empty.writer, t.full.writer, true); }, goal);
  table.Row("writer, journal synced per record (before)", [](const TargetFigures& t) {
    return GrowthCell(t.empty.writerSyncedPerRecord, t.full.writerSyncedPerRecord, false);
  });
  table.Row("writer, no strike records", [](const TargetFigures& t) {
    return GrowthCell(t.empty.writerNoStrikes, t.full.writerNoStrikes, false);
  });
  table.Row("database layer alone",
            [](const TargetFigures& t) { return GrowthCell(t.empty.layer, t.full.layer, false); });
  table.Row("bare C API loop",
            [](const TargetFigures& t) { return GrowthCell(t.empty.bare, t.full.bare, false); });
  table.Row(
      "bare, commits not waiting for the disk",
      [](const TargetFigures& t) {
        return GrowthCell(t.empty.bareUnsynced, t.full.bareUnsynced, true);
      },
      goal);
  table.Row("writer (as built), IdNumber not indexed, full", [](const TargetFigures& t) {
    return Cell{Number(t.unindexed.MicrosecondsPerRow()), {}};
  });
  table.Row("bulk fill (s)", [](const TargetFigures& t) {
    return Cell{Number(t.fillSeconds, 1), {}};
  });
}

Cell LookupCell(const LookupSample& sample, bool withGoal) {
  const double worst = std::max(sample.foundP99Ms, sample.missingP99Ms);
  return {Number(sample.foundMedianMs, 2) + "/" + Number(sample.foundP99Ms, 2) + "  " +
              Number(sample.missingMedianMs, 2) + "/" + Number(sample.missingP99Ms, 2),
          withGoal ? std::optional<bool>(worst < kLookupGoalMs) : std::nullopt};
}

void LookupSection(Table& table) {
  table.Section(
      "5  Look-up before a recovered call's INSERT, full table (ms): row there median/p99, "
      "row not there median/p99");
  table.Row("rows in the table", [](const TargetFigures& t) {
    return Cell{Number(static_cast<double>(t.lookup.tableRows)), {}};
  });
  table.Row("look-ups of each kind, by values / since sent / indexed", [](const TargetFigures& t) {
    return Cell{Number(t.lookup.asFound.lookups) + " / " + Number(t.lookup.windowed.lookups) +
                    " / " + Number(t.lookup.withIndex.lookups),
                {}};
  });
  table.Row("by values alone, no index of ours (older journals)",
            [](const TargetFigures& t) { return LookupCell(t.lookup.asFound, false); });
  table.Row(
      "the recorder's: IdNumber above the one read before the INSERT",
      [](const TargetFigures& t) { return LookupCell(t.lookup.windowed, true); },
      "p99 < " + Number(kLookupGoalMs));
  table.Row("by values alone, with index Pos_Calls_Call",
            [](const TargetFigures& t) { return LookupCell(t.lookup.withIndex, false); });
}

}  // namespace

void PrintReport(std::ostream& out, const std::vector<TargetFigures>& targets, const RunPlan& plan,
                 const DiskWatch::Stats& disk, const std::vector<std::string>& writerLog) {
  Table table(out, targets);
  out << "\nThe work folder's disk during the whole run: one fdatasync every 200 ms took "
      << Number(disk.medianMs, 2) << " ms (median), " << Number(disk.p99Ms, 1) << " ms (p99), "
      << Number(disk.maxMs, 1) << " ms (max), " << disk.samples << " samples.\n"
      << "Goals are judged on the fastest of the repeated runs; a slow disk spell only adds "
         "time.\n\n";
  table.Heading();
  DrainSection(table, plan);
  LatencySection(table, plan);
  GrowthSection(table, plan);
  LookupSection(table);
  table.Summary();
  if (writerLog.empty()) {
    out << "Writer's activity log: empty (no errors)\n";
  } else {
    out << "Writer's activity log: " << writerLog.size() << " lines\n";
    for (std::string line : writerLog) {
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      out << "  " << line << "\n";
    }
  }
}

}  // namespace qelto::bench
