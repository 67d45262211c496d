// qelto-bench: how fast the call writer moves calls from the queue into Pos_Calls, on SQLite and
// on PostgreSQL through ODBC, against a bare loop on each database's own C API. Prints figures
// beside their goals; it asserts nothing. tools/bench builds and runs it.
#include <QCoreApplication>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "bench/bench_env.h"
#include "bench/bench_options.h"
#include "bench/report.h"
#include "bench/target_run.h"

namespace {

void PrintLog(const std::vector<std::string>& lines) {
  for (const auto& line : lines) std::cerr << "  writer log: " << line;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qelto::bench;
  if (argc == 2 && std::string_view(argv[1]) == "--help") {
    std::cout << kBenchUsage;
    return 0;
  }
  std::string error;
  const std::optional<BenchOptions> options = ParseBenchOptions(argc, argv, error);
  if (!options) {
    std::cerr << "qelto-bench: " << error << "\n" << kBenchUsage;
    return 2;
  }
  // The latency run needs an event loop for its 500 ms QTimer, as the recorder has.
  QCoreApplication application(argc, argv);

  std::vector<BenchTarget> targets;
  if (options->runSqlite) targets.push_back(SqliteTarget(options->workFolder));
  if (options->runPostgres) targets.push_back(PostgresTarget(options->postgres));

  BenchEnv env(options->workFolder);
  std::vector<TargetFigures> figures;
  std::vector<std::string> failures;  // a target that failed leaves the others' figures standing
  const auto progress = [](const std::string& step) { std::cerr << "... " << step << std::endl; };
  for (const BenchTarget& target : targets) {
    try {
      if (!target.settings.ok) throw std::runtime_error("settings: " + target.settings.error);
      figures.push_back(RunTarget(env, target, options->plan, progress));
    } catch (const std::exception& failure) {
      failures.push_back(target.name + ": " + failure.what());
      std::cerr << "qelto-bench: " << failures.back() << "\n";
    }
  }
  if (!figures.empty()) {
    PrintReport(std::cout, figures, options->plan, env.disk.Since(), env.logFiles.Lines());
  } else {
    PrintLog(env.logFiles.Lines());
  }
  for (const auto& failure : failures) std::cout << "FAILED " << failure << "\n";
  return failures.empty() ? 0 : 1;
}
