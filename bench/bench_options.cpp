#include "bench/bench_options.h"

#include <charconv>
#include <string_view>

namespace qelto::bench {
namespace {

template <typename Number>
bool ReadNumber(std::string_view text, Number& value) {
  Number parsed{};
  const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (problem != std::errc() || end != text.data() + text.size() || parsed <= 0) return false;
  value = parsed;
  return true;
}

// The text setting an option names, or null when it names none.
std::string* TextSetting(BenchOptions& options, std::string_view name) {
  if (name == "--work") return &options.workFolder;
  if (name == "--dsn") return &options.postgres.dsn;
  if (name == "--pg-user") return &options.postgres.user;
  if (name == "--pg-password") return &options.postgres.password;
  if (name == "--libpq") return &options.postgres.conninfo;
  if (name == "--pg-schema") return &options.postgres.schema;
  return nullptr;
}

// Applies one option and its value; false when the option is unknown or the value unusable.
bool Apply(BenchOptions& options, std::string_view name, const std::string& value) {
  if (std::string* text = TextSetting(options, name)) {
    *text = value;
    return !value.empty() || name == "--pg-password";
  }
  if (name == "--timer") {
    options.plan.preciseTimer = value == "precise";
    return value == "precise" || value == "coarse";
  }
  if (name == "--only") {
    options.runSqlite = value == "sqlite";
    options.runPostgres = value == "postgres";
    return options.runSqlite || options.runPostgres;
  }
  if (name == "--calls") return ReadNumber(value, options.plan.calls);
  if (name == "--repeats") return ReadNumber(value, options.plan.repeats);
  if (name == "--latency-calls") return ReadNumber(value, options.plan.latencyCalls);
  if (name == "--rate") return ReadNumber(value, options.plan.callsPerSecond);
  if (name == "--fill-rows") return ReadNumber(value, options.plan.fillRows);
  if (name == "--unindexed-calls") return ReadNumber(value, options.plan.unindexedCalls);
  return false;
}

}  // namespace

const char* const kBenchUsage =
    "usage: qelto-bench --work DIR [--only sqlite|postgres]\n"
    "                   [--dsn NAME --libpq CONNINFO [--pg-user U] [--pg-password P]\n"
    "                    [--pg-schema S]]\n"
    "                   [--calls N] [--repeats N] [--latency-calls N] [--rate PER_SECOND] "
    "[--fill-rows N]\n"
    "                   [--unindexed-calls N] [--timer coarse|precise]\n"
    "Run it through tools/bench, which prepares PostgreSQL and the ODBC data source NAME\n"
    "(whose ConnSettings must set search_path to the schema S, default qelto_bench).\n";

std::optional<BenchOptions> ParseBenchOptions(int argc, char** argv, std::string& error) {
  BenchOptions options;
  for (int i = 1; i < argc; i += 2) {
    const std::string_view name = argv[i];
    if (i + 1 >= argc) {
      error = "no value after " + std::string(name);
      return std::nullopt;
    }
    if (!Apply(options, name, argv[i + 1])) {
      error = "cannot use " + std::string(name) + " " + argv[i + 1];
      return std::nullopt;
    }
  }
  if (options.workFolder.empty()) {
    error = "--work is required";
    return std::nullopt;
  }
  if (options.runPostgres && (options.postgres.dsn.empty() || options.postgres.conninfo.empty())) {
    error = "PostgreSQL needs --dsn and --libpq (or --only sqlite)";
    return std::nullopt;
  }
  return options;
}

}  // namespace qelto::bench
