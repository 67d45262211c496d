#include "bench/drain_bench.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "bench/call_lines.h"
#include "bench/sync_per_record_file.h"
#include "recording/call_journal.h"
#include "recording/call_queue.h"
#include "recording/call_writer.h"
#include "recording/database_target.h"
#include "recording/open_database.h"
#include "recording/posix/posix_durable_file.h"

namespace qelto::bench {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string FreshFile(const BenchEnv& env, const char* name) {
  const std::string path = (std::filesystem::path(env.workFolder) / name).string();
  std::filesystem::remove(path);
  return path;
}

std::int64_t CountRows(BareConnection& connection) {
  return connection.Number("SELECT COUNT(*) FROM Pos_Calls");
}

void ExpectRows(BareConnection& check, std::int64_t expected, const std::string& what) {
  const std::int64_t rows = CountRows(check);
  if (rows != expected) {
    throw std::runtime_error(what + ": Pos_Calls holds " + std::to_string(rows) +
                             " rows, expected " + std::to_string(expected));
  }
}

// The calls as the event side makes them, stamped now; the INSERTs the writer would build.
std::vector<std::string> Statements(const BenchEnv& env, const BenchTarget& target, int calls) {
  const SqlDialect dialect = DialectOf(DatabaseTargetFor(target.settings).kind);
  std::vector<std::string> statements;
  for (std::string& line : QueueLines(calls)) {
    QueuedCall call;
    call.moment = env.clock.Now();
    call.line = std::move(line);
    statements.push_back(InsertStatementFor(call, dialect));
  }
  return statements;
}

std::unique_ptr<DurableFile> JournalFile(const std::string& path, JournalMode mode) {
  if (mode == JournalMode::kSyncedPerRecord) return std::make_unique<SyncPerRecordFile>(path);
  return std::make_unique<PosixDurableFile>(path);
}

}  // namespace

DrainFigures RunWriterDrain(BenchEnv& env, const BenchTarget& target, BareConnection& check,
                            int calls, JournalMode mode) {
  const std::unique_ptr<DurableFile> journalFile =
      JournalFile(FreshFile(env, kCallJournalFileName), mode);
  PosixDurableFile rejected(FreshFile(env, kRejectedCallsFileName));
  PosixDurableFile damaged(FreshFile(env, kDamagedJournalFileName));
  CallJournal journal(*journalFile, damaged);
  LockedCallQueue queue;
  const std::int64_t before = CountRows(check);

  const std::unique_ptr<Database> database = OpenDatabaseFor(target.settings, target.baseFolder);
  CallWriter writer(*database, queue, journal, rejected, env.log, env.clock, CallWriter::Branch{});
  env.clock.SkipReconnectWait();
  // Queued once the skipped wait is behind them, as calls that arrive while the database is up.
  for (std::string& line : QueueLines(calls)) {
    QueuedCall call;
    call.moment = env.clock.Now();
    call.queuedTick = env.clock.Tick();
    call.line = std::move(line);
    std::string problem;
    if (mode != JournalMode::kNoStrikes && !journal.Record(call, problem)) {
      throw std::runtime_error("cannot write the call journal in " + env.workFolder);
    }
    queue.Append(std::move(call));
  }
  writer.ReconnectDatabase();
  if (!writer.DbConnected()) throw std::runtime_error("the writer cannot connect; see its log");

  // Timed with the journal flush WriteQueuedCalls makes at the end of its drain.
  const auto start = Clock::now();
  writer.WriteQueuedCalls();
  const double seconds = SecondsSince(start);
  database->Close();

  if (queue.Size() != 0) throw std::runtime_error("the writer left calls queued; see its log");
  ExpectRows(check, before + calls, "writer drain");
  return DrainFigures{calls, seconds};
}

DrainFigures RunLayerLoop(BenchEnv& env, const BenchTarget& target, BareConnection& check,
                          int calls) {
  const std::vector<std::string> statements = Statements(env, target, calls);
  const std::int64_t before = CountRows(check);
  const std::unique_ptr<Database> database = OpenDatabaseFor(target.settings, target.baseFolder);
  std::string error;
  if (!database->Open(error)) throw std::runtime_error("database layer: " + error);
  const auto start = Clock::now();
  for (const std::string& statement : statements) {
    if (!database->Execute(statement, error)) throw std::runtime_error("database layer: " + error);
  }
  const double seconds = SecondsSince(start);
  database->Close();
  ExpectRows(check, before + calls, "database layer loop");
  return DrainFigures{calls, seconds};
}

DrainFigures RunBareLoop(BenchEnv& env, const BenchTarget& target, BareConnection& bare,
                         int calls) {
  const std::vector<std::string> statements = Statements(env, target, calls);
  const std::int64_t before = CountRows(bare);
  std::string error;
  const auto start = Clock::now();
  for (const std::string& statement : statements) {
    if (!bare.Execute(statement, error)) throw std::runtime_error("bare loop: " + error);
  }
  const double seconds = SecondsSince(start);
  ExpectRows(bare, before + calls, "bare loop");
  return DrainFigures{calls, seconds};
}

}  // namespace qelto::bench
