#include "bench/win32/arrival_latency.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bench/call_lines.h"
#include "bench/memory_log_files.h"
#include "bench/statistics.h"
#include "bench/timed_database.h"
#include "bench/win32/bench_support.h"
#include "recording/call_event.h"
#include "recording/call_journal.h"
#include "recording/call_queue.h"
#include "recording/call_writer.h"
#include "recording/call_writer_thread.h"
#include "recording/open_database.h"
#include "recording/win32/win_durable_file.h"
#include "ui/activity_log.h"

namespace qelto::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;

constexpr auto kTickInterval = std::chrono::milliseconds(500);  // the recorder's Timer1
constexpr auto kStuckAfter = std::chrono::seconds(20);
constexpr unsigned kArrivalSeed = 20240321;

}  // namespace

ArrivalLatency MeasureArrivalLatency(const std::string& folder, int calls, double perSecond) {
  SkippingClock clock;
  MemoryLogFiles logFiles;
  ActivityLog log(logFiles, clock);
  log.Open();
  WinDurableFile journalFile(FreshFile(folder, kCallJournalFileName));
  WinDurableFile rejected(FreshFile(folder, kRejectedCallsFileName));
  WinDurableFile damaged(FreshFile(folder, kDamagedJournalFileName));
  CallJournal journal(journalFile, damaged);
  journal.Recover();
  LockedCallQueue queue;
  const ServerConfig settings = ParseServerConfig(
      "any\nsqlite:" + FreshFile(folder, "latency.db") + "\n\n0\n\n", "Server_Config.dll");
  TimedDatabase database(OpenDatabaseFor(settings, folder));
  CallWriter writer(database, queue, journal, rejected, log, clock, CallWriter::Branch{});
  clock.SkipReconnectWait();
  writer.ReconnectDatabase();
  if (!writer.DbConnected()) throw std::runtime_error("latency run: the writer cannot connect");
  CallWriterThread writerThread(writer, database);

  // The driver's thread: what the recorder's event method does with each call event.
  std::vector<TimePoint> arrivals(calls);
  std::atomic<bool> delivered{false};
  std::thread driver([&] {
    std::mt19937 random(kArrivalSeed);
    std::exponential_distribution<double> gap(perSecond);
    const std::vector<std::string> lines = QueueLines(calls);
    TimePoint next = SteadyClock::now();
    for (int i = 0; i < calls; ++i) {
      next += std::chrono::duration_cast<SteadyClock::duration>(
          std::chrono::duration<double>(gap(random)));
      std::this_thread::sleep_until(next);
      arrivals[i] = next;  // when it was due: a driver held up counts against the latency too
      const auto [line, number] = SplitQueueLine(lines[i]);
      QueuedCall call;
      call.moment = clock.Now();
      call.line = MakeQueueLine(std::stoi(line), CallEventText(number));
      std::string problem;
      journal.Record(call, problem);
      queue.Append(std::move(call));
      writerThread.Wake();
    }
    delivered = true;
  });
  // The status tick, which only wakes the writer.
  TimePoint deliveredAt{};
  while (database.InsertsReturnedCount() < static_cast<std::size_t>(calls)) {
    std::this_thread::sleep_for(kTickInterval);
    writerThread.ReconnectAndWrite();
    if (!delivered) continue;
    if (deliveredAt == TimePoint{}) deliveredAt = SteadyClock::now();
    if (SteadyClock::now() - deliveredAt > kStuckAfter) break;
  }
  driver.join();
  writerThread.Stop(std::chrono::seconds(2));
  const std::vector<TimedDatabase::TimePoint> returned = database.InsertsReturned();
  if (returned.size() != static_cast<std::size_t>(calls)) {
    throw std::runtime_error("latency run: " + std::to_string(returned.size()) + " of " +
                             std::to_string(calls) + " calls written");
  }
  std::vector<double> latencies;
  for (int i = 0; i < calls; ++i) {
    latencies.push_back(
        std::chrono::duration<double, std::milli>(returned[i] - arrivals[i]).count());
  }
  return {Percentile(latencies, 0.5), Percentile(latencies, 0.99), Maximum(latencies)};
}

}  // namespace qelto::bench
