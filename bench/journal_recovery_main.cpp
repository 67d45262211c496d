// qelto-bench-journal: how long the recorder's start spends reading back the call journal, for
// the journals a shop leaves: a busy week of calls written and struck (the file is compacted only
// at start), and a long outage's backlog of calls still pending. Prints figures; asserts nothing.
// Usage: qelto-bench-journal [CALLS]   (default 1,000,000)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "memory_durable_file.h"
#include "recording/call_journal.h"

namespace {

using qelto::CallJournal;
using qelto::FormatCallRecord;
using qelto::FormatStrikeRecord;
using qelto::QueuedCall;
using qelto::testing_support::MemoryDurableFile;

QueuedCall CallNumber(std::uint64_t n) {
  QueuedCall call;
  call.id = n;
  call.moment = {2026,
                 12,
                 1 + static_cast<int>(n / 86400 % 28),
                 static_cast<int>(n / 3600 % 24),
                 static_cast<int>(n / 60 % 60),
                 static_cast<int>(n % 60)};
  call.line = std::to_string(1 + n % 4) + ",0912" + std::to_string(1000000 + n % 9000000);
  return call;
}

// Each call struck soon after it was recorded (a few calls later), as the writer does while the
// database is up; the last `pending` calls are left unstruck.
std::string Journal(std::uint64_t calls, std::uint64_t pending) {
  constexpr std::uint64_t kLag = 8;
  const std::uint64_t struck = calls - pending;
  std::string text;
  for (std::uint64_t n = 1; n <= calls; ++n) {
    text += FormatCallRecord(CallNumber(n));
    if (n > kLag && n - kLag <= struck) text += FormatStrikeRecord(n - kLag);
  }
  for (std::uint64_t n = calls > kLag ? calls - kLag + 1 : 1; n <= struck; ++n) {
    text += FormatStrikeRecord(n);
  }
  return text;
}

void Measure(const char* what, std::uint64_t calls, std::uint64_t pending) {
  MemoryDurableFile store, damaged;
  store.content = Journal(calls, pending);
  const double megabytes = static_cast<double>(store.content.size()) / (1024.0 * 1024.0);
  CallJournal journal(store, damaged);
  const auto start = std::chrono::steady_clock::now();
  const CallJournal::Recovery recovery = journal.Recover();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%-34s %9llu records, %6.1f MiB: %7.3f s, %llu pending\n", what,
              static_cast<unsigned long long>(calls), megabytes, took.count(),
              static_cast<unsigned long long>(recovery.pending.size()));
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t calls = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  if (calls < 16) {
    std::fprintf(stderr, "usage: qelto-bench-journal [CALLS]   (at least 16)\n");
    return 2;
  }
  std::printf("journal read back at start (goal: well under the 2 s a stop may take)\n");
  Measure("all written and struck", calls, 0);
  Measure("a tenth still pending", calls, calls / 10);
  Measure("all pending (a long outage)", calls, calls);
  return 0;
}
