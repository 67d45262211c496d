#include "bench/lookup_bench.h"

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/statistics.h"
#include "recording/call_statement.h"
#include "recording/open_database.h"
#include "recording/solar_date.h"

namespace qelto::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A table that answers this slowly (no index) gets fewer look-ups rather than minutes.
constexpr auto kTimeBox = std::chrono::seconds(5);
constexpr const char* kReadmeIndex =
    "CREATE INDEX IF NOT EXISTS Pos_Calls_Call ON Pos_Calls (TotalNumber, TarYY, TarMM, TarDD, "
    "Time)";

// The stamp every row of the bulk fill carries.
const SolarDate kFillStamp{"04", "01", "01", "10:00:00"};

// Rows that other recorders numbered between the writer's read of the highest IdNumber and its
// INSERT, for the look-up among the rows numbered since.
constexpr std::int64_t kRowsSinceRead = 50;

double LookUpMs(Database& database, const std::string& number, bool expectFound,
                std::optional<std::int64_t> above) {
  DbError error;
  const auto start = SteadyClock::now();
  const std::optional<std::int64_t> rows =
      database.QueryNumber(BuildCallLookupQuery("1", number, kFillStamp, "", above), error);
  const double ms = std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
  if (!rows) throw std::runtime_error("look-up: " + error.message);
  if ((*rows > 0) != expectFound)
    throw std::runtime_error("look-up of " + number + ": wrong answer");
  return ms;
}

// `windowed`: as the recorder looks up a call it sent, among the rows numbered since the highest
// IdNumber it read before; a row not there is asked for among the last rows of the table.
LookupSample Sample(Database& database, std::int64_t filledRows, std::int64_t tableRows,
                    int lookups, bool windowed) {
  std::vector<double> found, missing;
  const auto start = SteadyClock::now();
  for (int i = 0; i < lookups && SteadyClock::now() - start < kTimeBox; ++i) {
    // Spread over the whole table, so no part of it stays warm by being asked twice.
    const std::int64_t row = 1 + (static_cast<std::int64_t>(i) * 7919) % filledRows;
    const auto window = [&](std::int64_t id) {
      return windowed ? std::optional<std::int64_t>(id - kRowsSinceRead) : std::nullopt;
    };
    found.push_back(LookUpMs(database, "0912" + std::to_string(row), true, window(row)));
    missing.push_back(LookUpMs(database, "0999" + std::to_string(row), false, window(tableRows)));
  }
  LookupSample sample;
  sample.lookups = static_cast<int>(found.size());
  sample.foundMedianMs = Percentile(found, 0.5);
  sample.foundP99Ms = Percentile(found, 0.99);
  sample.missingMedianMs = Percentile(missing, 0.5);
  sample.missingP99Ms = Percentile(missing, 0.99);
  return sample;
}

}  // namespace

LookupFigures RunLookups(const BenchTarget& target, BareConnection& bare, std::int64_t filledRows,
                         int lookups) {
  LookupFigures figures;
  figures.tableRows = bare.Number("SELECT COUNT(*) FROM Pos_Calls");
  const std::unique_ptr<Database> database = OpenDatabaseFor(target.settings, target.baseFolder);
  std::string error;
  if (!database->Open(error)) throw std::runtime_error("look-up: cannot connect: " + error);
  const std::int64_t rows = figures.tableRows;
  figures.asFound = Sample(*database, filledRows, rows, lookups, false);
  figures.windowed = Sample(*database, filledRows, rows, lookups, true);
  bare.Run(kReadmeIndex);
  figures.withIndex = Sample(*database, filledRows, rows, lookups, false);
  database->Close();
  return figures;
}

}  // namespace qelto::bench
