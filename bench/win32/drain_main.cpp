// qelto-bench-windows: the call writer's drain of 1,000 queued calls into an SQLite file against
// a bare loop of the same INSERTs on SQLite's C API, in one Windows process (under Wine, in one
// Wine process), so that both pay the same file system. Prints figures; asserts nothing.
//
//   qelto-bench-windows FOLDER [CALLS]
//
// Then the latency from a call's arrival to its row, with the writer on its own thread.

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/accounted_parts.h"
#include "bench/call_lines.h"
#include "bench/memory_log_files.h"
#include "bench/win32/arrival_latency.h"
#include "bench/win32/bench_support.h"
#include "recording/call_journal.h"
#include "recording/call_queue.h"
#include "recording/call_statement.h"
#include "recording/call_writer.h"
#include "recording/open_database.h"
#include "recording/win32/win_durable_file.h"
#include "ui/activity_log.h"

namespace {

using namespace qelto;
using bench::FreshFile;
using bench::SkippingClock;
using Seconds = std::chrono::duration<double>;

std::vector<QueuedCall> Calls(const Clock& clock, int count) {
  std::vector<QueuedCall> calls;
  for (std::string& line : bench::QueueLines(count)) {
    QueuedCall call;
    call.moment = clock.Now();
    call.queuedTick = clock.Tick();
    call.line = std::move(line);
    calls.push_back(std::move(call));
  }
  return calls;
}

struct DrainFigures {
  double total = 0;         // seconds for the whole drain
  bench::Account database;  // inside the database's calls
  bench::Account journal;   // inside the journal file's calls
};

DrainFigures WriterDrain(const std::string& folder, int count) {
  DrainFigures figures;
  SkippingClock clock;
  bench::MemoryLogFiles logFiles;
  ActivityLog log(logFiles, clock);
  log.Open();
  WinDurableFile journalOnDisk(FreshFile(folder, kCallJournalFileName));
  bench::AccountedFile journalFile(journalOnDisk, figures.journal);
  WinDurableFile rejected(FreshFile(folder, kRejectedCallsFileName));
  WinDurableFile damaged(FreshFile(folder, kDamagedJournalFileName));
  CallJournal journal(journalFile, damaged);
  LockedCallQueue queue;
  const ServerConfig settings = ParseServerConfig(
      "any\nsqlite:" + FreshFile(folder, "writer.db") + "\n\n0\n\n", "Server_Config.dll");
  bench::AccountedDatabase database(OpenDatabaseFor(settings, folder), figures.database);
  CallWriter writer(database, queue, journal, rejected, log, clock, CallWriter::Branch{});
  clock.SkipReconnectWait();
  // Queued once the skipped wait is behind them, as calls that arrive while the database is up.
  for (QueuedCall& call : Calls(clock, count)) {
    std::string problem;
    if (!journal.Record(call, problem)) throw std::runtime_error("journal: " + problem);
    queue.Append(std::move(call));
  }
  writer.ReconnectDatabase();
  if (!writer.DbConnected()) {
    const auto lines = logFiles.Lines();
    throw std::runtime_error("the writer cannot connect: " + (lines.empty() ? "" : lines.back()));
  }
  // Recording the calls and setting up the connection are not the drain's work.
  figures.database = {};
  figures.journal = {};
  const auto start = std::chrono::steady_clock::now();
  writer.WriteQueuedCalls();
  const Seconds took = std::chrono::steady_clock::now() - start;
  if (queue.Size() != 0) throw std::runtime_error("the writer left calls queued");
  figures.total = took.count();
  return figures;
}

// `withIndex` gives the bare loop the index Pos_Calls_Call that files of earlier versions have
// (the recorder no longer makes it): what such a file costs each row.
double BareLoop(const std::string& folder, int count, bool withIndex) {
  SystemClock clock;
  sqlite3* db = nullptr;
  if (sqlite3_open(FreshFile(folder, "bare.db").c_str(), &db) != SQLITE_OK) {
    throw std::runtime_error("bare: cannot open");
  }
  std::vector<std::string> statements;
  for (const QueuedCall& call : Calls(clock, count)) {
    statements.push_back(bench::InsertStatementFor(call, SqlDialect::Standard));
  }
  // As the recorder's connection is set up: WAL, and the same table.
  sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  sqlite3_exec(db,
               "CREATE TABLE Pos_Calls (IdNumber INTEGER PRIMARY KEY, LineNumber TEXT, "
               "TotalNumber TEXT, TarYY TEXT, TarMM TEXT, TarDD TEXT, Time TEXT, BranchCode TEXT)",
               nullptr, nullptr, nullptr);
  if (withIndex) {
    sqlite3_exec(db,
                 "CREATE INDEX Pos_Calls_Call ON Pos_Calls (TotalNumber, TarYY, TarMM, TarDD, "
                 "Time)",
                 nullptr, nullptr, nullptr);
  }
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& statement : statements) {
    if (sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string("bare: ") + sqlite3_errmsg(db));
    }
  }
  const Seconds took = std::chrono::steady_clock::now() - start;
  sqlite3_close(db);
  return took.count();
}

// A busy shop's rate, far above a real one, so that calls meet a writer still at work.
constexpr int kLatencyCalls = 200;
constexpr double kLatencyCallsPerSecond = 10;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void PrintRate(const char* name, int count, double seconds) {
  std::printf("%-34s %d calls in %.3f s, %.0f calls/s\n", name, count, seconds, count / seconds);
}

}  // namespace

// Three rounds, each loop in turn, so that a busy moment of the machine touches all of them;
// the medians are printed.
int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qelto-bench-windows FOLDER [CALLS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int count = argc > 2 ? std::stoi(argv[2]) : 1000;
  try {
    std::vector<double> bare, indexed, writer, database, journal, own;
    for (int round = 0; round < 3; ++round) {
      bare.push_back(BareLoop(folder, count, false));
      indexed.push_back(BareLoop(folder, count, true));
      const DrainFigures drain = WriterDrain(folder, count);
      writer.push_back(drain.total);
      database.push_back(drain.database.spent.count());
      journal.push_back(drain.journal.spent.count());
      own.push_back(drain.total - database.back() - journal.back());
    }
    const double w = Median(writer), d = Median(database), j = Median(journal), o = Median(own);
    PrintRate("bare SQLite loop:", count, Median(bare));
    PrintRate("bare loop, with the old index:", count, Median(indexed));
    PrintRate("writer drain:", count, w);
    std::printf("  of which in the database:        %.3f s (%.0f %%)\n", d, 100 * d / w);
    std::printf("  of which in the call journal:    %.3f s (%.0f %%)\n", j, 100 * j / w);
    std::printf("  the writer's own work:           %.3f s (%.0f %%)\n", o, 100 * o / w);
    std::printf("ratio writer/bare:                 %.2f (goal >= 0.90)\n", Median(bare) / w);
    std::printf("ratio writer/bare with the index:  %.2f\n", Median(indexed) / w);
    const bench::ArrivalLatency latency =
        bench::MeasureArrivalLatency(folder, kLatencyCalls, kLatencyCallsPerSecond);
    std::printf("arrival to row, %d calls at %.0f/s: median %.1f ms, p99 %.1f ms, max %.1f ms\n",
                kLatencyCalls, kLatencyCallsPerSecond, latency.medianMs, latency.p99Ms,
                latency.maxMs);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qelto-bench-windows: %s\n", error.what());
    return 1;
  }
  return 0;
}
