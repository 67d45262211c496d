#include "bench/latency_bench.h"

#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bench/call_lines.h"
#include "bench/statistics.h"
#include "bench/timed_database.h"
#include "recording/call_event.h"
#include "recording/call_journal.h"
#include "recording/call_queue.h"
#include "recording/call_statement.h"
#include "recording/call_writer.h"
#include "recording/call_writer_thread.h"
#include "recording/open_database.h"
#include "recording/posix/posix_durable_file.h"

namespace qelto::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;

constexpr int kTickIntervalMs = 500;  // the recorder's Timer1
// How long the ticks go on after the last call arrived before the run counts as stuck.
constexpr auto kStuckAfter = std::chrono::seconds(20);
constexpr unsigned kArrivalSeed = 20240321;
// What the recorder gives its writer to finish when it stops.
constexpr auto kWriterStopGrace = std::chrono::seconds(2);

double Milliseconds(SteadyClock::duration span) {
  return std::chrono::duration<double, std::milli>(span).count();
}

// The driver's side: the events, and what the recorder's event method does with a call event
// (stamp it, journal it, queue it, wake the writer), run on the driver's thread.
class FakeDriver {
 public:
  FakeDriver(BenchEnv& env, CallJournal& journal, LockedCallQueue& queue, CallWriterThread& writer,
             int calls)
      : env_(env),
        journal_(journal),
        queue_(queue),
        writer_(writer),
        arrivals_(calls),
        handled_(calls) {}

  // Delivers the calls at their arrival moments; returns when all are delivered.
  void Run(double perSecond) {
    std::mt19937 random(kArrivalSeed);
    std::exponential_distribution<double> gap(perSecond);
    TimePoint next = SteadyClock::now();
    const std::vector<std::string> lines = QueueLines(static_cast<int>(arrivals_.size()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
      next += std::chrono::duration_cast<SteadyClock::duration>(
          std::chrono::duration<double>(gap(random)));
      std::this_thread::sleep_until(next);
      // The call's moment is when it was due: a driver held up by the previous event counts
      // against the latency too.
      arrivals_[i] = next;
      const auto [line, number] = SplitQueueLine(lines[i]);
      const TimePoint entered = SteadyClock::now();
      OnCallEvent(std::stoi(line), CallEventText(number));
      handled_[i] = SteadyClock::now() - entered;
    }
    done_ = true;
  }

  bool Done() const { return done_; }
  // Read only after Run() has returned on its thread and that thread was joined.
  const std::vector<TimePoint>& Arrivals() const { return arrivals_; }
  const std::vector<SteadyClock::duration>& Handled() const { return handled_; }

 private:
  // As TMAIN_FRM::QueueCall does for a call event.
  void OnCallEvent(std::int32_t code, std::u16string_view text) {
    QueuedCall call;
    call.moment = env_.clock.Now();
    call.queuedTick = env_.clock.Tick();
    call.line = MakeQueueLine(code, text);
    if (std::string problem; !journal_.Record(call, problem)) {
      env_.log.WriteLog("Error: Call journal: " + problem);
    }
    queue_.Append(std::move(call));
    writer_.Wake();
  }

  BenchEnv& env_;
  CallJournal& journal_;
  LockedCallQueue& queue_;
  CallWriterThread& writer_;
  std::vector<TimePoint> arrivals_;
  std::vector<SteadyClock::duration> handled_;
  std::atomic<bool> done_{false};
};

}  // namespace

LatencyFigures RunLatency(BenchEnv& env, const BenchTarget& target, BareConnection& check,
                          int calls, double perSecond, bool preciseTimer) {
  const auto folder = std::filesystem::path(env.workFolder);
  std::filesystem::remove(folder / kCallJournalFileName);
  PosixDurableFile journalFile((folder / kCallJournalFileName).string());
  PosixDurableFile rejected((folder / kRejectedCallsFileName).string());
  PosixDurableFile damaged((folder / kDamagedJournalFileName).string());
  CallJournal journal(journalFile, damaged);
  LockedCallQueue queue;
  const std::int64_t before = check.Number("SELECT COUNT(*) FROM Pos_Calls");

  TimedDatabase database(OpenDatabaseFor(target.settings, target.baseFolder));
  CallWriter writer(database, queue, journal, rejected, env.log, env.clock, CallWriter::Branch{});
  env.clock.SkipReconnectWait();
  writer.ReconnectDatabase();
  if (!writer.DbConnected()) throw std::runtime_error("the writer cannot connect; see its log");

  CallWriterThread writerThread(writer, database);
  FakeDriver driver(env, journal, queue, writerThread, calls);
  const TimePoint runStart = SteadyClock::now();
  std::vector<TimePoint> ticks;
  TimePoint driverDoneAt{};
  QEventLoop loop;
  QTimer Timer1;  // the recorder's is of the default, coarse, type
  Timer1.setTimerType(preciseTimer ? Qt::PreciseTimer : Qt::CoarseTimer);
  Timer1.setInterval(kTickIntervalMs);
  // As the status tick does: it only wakes the writer, which works on its own thread.
  QObject::connect(&Timer1, &QTimer::timeout, [&] {
    ticks.push_back(SteadyClock::now());
    writerThread.ReconnectAndWrite();
    if (!driver.Done()) return;
    if (driverDoneAt == TimePoint{}) driverDoneAt = ticks.back();
    const bool allWritten = database.InsertsReturnedCount() >= static_cast<std::size_t>(calls);
    if (allWritten || ticks.back() - driverDoneAt > kStuckAfter) loop.quit();
  });
  Timer1.start();
  std::thread driverThread([&] { driver.Run(perSecond); });
  loop.exec();
  Timer1.stop();
  driverThread.join();
  if (!writerThread.Stop(kWriterStopGrace)) {
    throw std::runtime_error("latency run: the writer's thread did not stop");
  }
  database.Close();

  const std::vector<TimedDatabase::TimePoint> returned = database.InsertsReturned();
  if (returned.size() != static_cast<std::size_t>(calls) ||
      check.Number("SELECT COUNT(*) FROM Pos_Calls") != before + calls) {
    throw std::runtime_error("latency run: " + std::to_string(returned.size()) + " of " +
                             std::to_string(calls) + " calls written; see the writer's log");
  }
  std::vector<double> latencies, eventSide, tickGaps;
  for (int i = 0; i < calls; ++i) {
    latencies.push_back(Milliseconds(returned[i] - driver.Arrivals()[i]));
    eventSide.push_back(Milliseconds(driver.Handled()[i]));
  }
  for (std::size_t i = 1; i < ticks.size(); ++i) {
    tickGaps.push_back(Milliseconds(ticks[i] - ticks[i - 1]));
  }
  LatencyFigures figures;
  figures.calls = calls;
  figures.medianMs = Percentile(latencies, 0.5);
  figures.p99Ms = Percentile(latencies, 0.99);
  figures.maxMs = Maximum(latencies);
  figures.eventSideMedianMs = Percentile(eventSide, 0.5);
  figures.eventSideP99Ms = Percentile(eventSide, 0.99);
  figures.longestTickGapMs = Maximum(tickGaps);
  figures.disk = env.disk.Since(runStart);
  return figures;
}

}  // namespace qelto::bench
