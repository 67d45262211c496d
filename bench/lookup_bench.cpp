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

LookupSample Summary(std::vector<double>& found, std::vector<double>& missing) {
  LookupSample sample;
  sample.lookups = static_cast<int>(found.size());
  sample.foundMedianMs = Percentile(found, 0.5);
  sample.foundP99Ms = Percentile(found, 0.99);
  sample.missingMedianMs = Percentile(missing, 0.5);
  sample.missingP99Ms = Percentile(missing, 0.99);
  return sample;
}

// By the values alone, as earlier versions looked up.
LookupSample Sample(Database& database, std::int64_t filledRows, int lookups) {
  std::vector<double> found, missing;
  const auto start = SteadyClock::now();
  for (int i = 0; i < lookups && SteadyClock::now() - start < kTimeBox; ++i) {
    // Spread over the whole table, so no part of it stays warm by being asked twice.
    const std::int64_t row = 1 + (static_cast<std::int64_t>(i) * 7919) % filledRows;
    found.push_back(LookUpMs(database, "0912" + std::to_string(row), true, std::nullopt));
    missing.push_back(LookUpMs(database, "0999" + std::to_string(row), false, std::nullopt));
  }
  return Summary(found, missing);
}

// As the recorder looks up a call it sent: among the rows numbered above the highest IdNumber it
// read before, less those that other recorders numbered in between. The call's row is the one
// `bare` has just added at the top, as its INSERT left it; a call whose row is not there is asked
// for the same way.
LookupSample WindowedSample(Database& database, BareConnection& bare, int lookups) {
  std::vector<double> found, missing;
  const auto start = SteadyClock::now();
  for (int i = 0; i < lookups && SteadyClock::now() - start < kTimeBox; ++i) {
    const std::int64_t read = bare.Number("SELECT MAX(IdNumber) FROM Pos_Calls") - kRowsSinceRead;
    const std::string number = "0888" + std::to_string(i);
    bare.Run(BuildCallInsertStatement("1", number, kFillStamp, "", "", SqlDialect::Standard));
    found.push_back(LookUpMs(database, number, true, read));
    missing.push_back(LookUpMs(database, "0999" + std::to_string(i), false, read));
  }
  return Summary(found, missing);
}

}  // namespace

LookupFigures RunLookups(const BenchTarget& target, BareConnection& bare, std::int64_t filledRows,
                         int lookups) {
  LookupFigures figures;
  figures.tableRows = bare.Number("SELECT COUNT(*) FROM Pos_Calls");
  const std::unique_ptr<Database> database = OpenDatabaseFor(target.settings, target.baseFolder);
  std::string error;
  if (!database->Open(error)) throw std::runtime_error("look-up: cannot connect: " + error);
  figures.asFound = Sample(*database, filledRows, lookups);
  figures.windowed = WindowedSample(*database, bare, lookups);
  bare.Run(kReadmeIndex);
  figures.withIndex = Sample(*database, filledRows, lookups);
  database->Close();
  return figures;
}

}  // namespace qelto::bench
