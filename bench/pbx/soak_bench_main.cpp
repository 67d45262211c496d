// qelto-bench-soak: a day of a call centre. The real recorder, with our driver for a telephone
// system (our fake manager interface on loopback), takes N calls of the kinds a real Asterisk 20
// sent (ring groups, queues, follow-me, transfers, withheld numbers, with internal and outgoing
// calls between them) as fast as it writes them into SQLite, then calls at 50 a second. It
// prints the calls per second, the time from the send of a call to its row (median, p99) at
// 50 a second, and the resident memory of the recorder and of our driver after 1,000 and after
// N calls; the driver's own share is measured in this process, which loads the library alone
// and hears every call the recorder hears from a second fake server. Every row is set against
// its call: a call lost, written twice or recorded when it should not be ends the run with a
// non-zero exit and the reason. The timings are printed, never judged.
//
// Usage: qelto-bench-soak RECORDER DRIVER TRANSCRIPTS [--calls N] [--paced M]
//   RECORDER     the built qelto-callerid     DRIVER  the built libPOS_CIDR.so
//   TRANSCRIPTS  the folder of recorded transcripts (tests/drivers/pbx/transcripts)
//   --calls N    calls of the fast part (default 1,000,000)
//   --paced M    calls at 50 a second afterwards (default 1,000)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "call_ledger.h"
#include "fake_ami_server.h"
#include "lone_driver.h"
#include "paced_times.h"
#include "recorder_process.h"
#include "row_reader.h"
#include "transcript_call.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using qelto::bench::CallLedger;
using qelto::bench::Expected;
using qelto::bench::LoneDriver;
using qelto::bench::PacedTimes;
using qelto::bench::RowReader;
using namespace qelto::cidr::testing_support;

// The day's calls, in the order they come, over and over: 11 from outside, 4 not.
struct Kind {
  const char* transcript;
  Expected expected;
};
constexpr Kind kDay[] = {
    {"ringgroup", Expected::kRow},      {"internal", Expected::kNone},
    {"queue", Expected::kRow},          {"outgoing", Expected::kNone},
    {"localgroup", Expected::kRow},     {"localqueue", Expected::kRow},
    {"direct", Expected::kRow},         {"followme", Expected::kRow},
    {"internal", Expected::kNone},      {"transfer", Expected::kRow},
    {"attended", Expected::kRow},       {"noanswer", Expected::kRow},
    {"anonymous", Expected::kWithheld}, {"outgoing", Expected::kNone},
    {"nocid", Expected::kWithheld},
};
constexpr std::size_t kDayLength = std::size(kDay);

// Calls from outside sent and not yet written, in the fast part: enough that the writer always
// has a queue to drain.
constexpr std::size_t kWindow = 100;
constexpr std::size_t kEarlyMark = 1000;
constexpr auto kPacedGap = 20ms;  // 50 calls a second
constexpr auto kPollGap = 500us;
// No row for this long while rows are due: the recorder is stuck.
constexpr auto kStuck = 60s;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

long ResidentKilobytes(const std::string& pid) {
  std::ifstream status("/proc/" + pid + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  }
  return -1;
}

std::string Megabytes(long kilobytes) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f MB", static_cast<double>(kilobytes) / 1024);
  return text;
}

struct Memory {
  long recorder = 0;
  long driver = 0;
};

class Soak {
 public:
  Soak(const fs::path& base, const fs::path& recorder, const std::string& driver,
       const fs::path& transcripts, std::size_t calls)
      : base_(base),
        recorder_server_("bench", "s"),
        alone_server_("bench", "s"),
        rows_(std::make_unique<RowReader>((base / "app" / "calls.sqlite").string())),
        ledger_(calls) {
    if (!recorder_server_.problem().empty() || !alone_server_.problem().empty()) {
      throw Failure("the fake servers cannot listen: " + recorder_server_.problem() +
                    alone_server_.problem());
    }
    for (const Kind& kind : kDay) {
      std::optional<TranscriptCall> call =
          TranscriptCall::Read((transcripts / (std::string(kind.transcript) + ".txt")).string());
      if (!call) throw Failure("cannot read the transcript " + std::string(kind.transcript));
      calls_.push_back(std::move(*call));
    }
    numbering_.seconds = static_cast<std::int64_t>(std::time(nullptr));
    StartRecorder(recorder, driver);
    alone_ = std::make_unique<LoneDriver>(driver, (base / "driver").string(), alone_server_.port(),
                                          calls);
    if (!alone_->problem().empty()) throw Failure(alone_->problem());
    if (!recorder_server_.WaitForLogins(1, 60s)) {
      throw Failure(recorder_->Running() ? "the recorder's driver did not log in to the fake server"
                                         : "the recorder ended at its start (see recorder.err)");
    }
  }

  ~Soak() {
    alone_.reset();
    if (recorder_ && recorder_->Running()) recorder_->Terminate();
  }

  // The first call, once the database is connected (15 s after the start).
  void WarmUp() {
    Send(0);
    Drain();
  }

  // Calls [first, end) as fast as the recorder writes them; the calls per second.
  double Fast(std::size_t first, std::size_t end, Memory& early) {
    const Clock::time_point start = Clock::now();
    const std::size_t every = std::max<std::size_t>((end - first) / 10, kEarlyMark);
    for (std::size_t index = first; index < end; ++index) {
      while (ledger_.outstanding() >= kWindow) WaitForRows();
      Send(index);
      if (index == kEarlyMark) early = MemoryNow();
      if (index % every == 0) {
        // Samples, not drained: how the memory goes along the way.
        std::fprintf(stderr, "bench-soak: %zu calls sent; resident: recorder %s, this process %s\n",
                     index, Megabytes(ResidentKilobytes(std::to_string(recorder_->pid()))).c_str(),
                     Megabytes(ResidentKilobytes("self")).c_str());
      }
    }
    Drain();
    return static_cast<double>(end - first) /
           std::chrono::duration<double>(Clock::now() - start).count();
  }

  // Calls [first, end) at 50 a second: the send-to-row times of those with a number, and the
  // send-to-event times of the driver loaded alone.
  struct Latencies {
    std::vector<double> rows;
    std::vector<double> events;
  };
  Latencies Paced(std::size_t first, std::size_t end) {
    paced_.Begin(first, end - first);
    alone_->BeginPaced(first, end - first);
    const Clock::time_point start = Clock::now();
    for (std::size_t index = first; index < end; ++index) {
      std::this_thread::sleep_until(start + (index - first) * kPacedGap);
      Send(index);
      while (Clock::now() < start + (index - first + 1) * kPacedGap - kPollGap) {
        Poll();
        std::this_thread::sleep_for(kPollGap);
      }
    }
    Drain();
    return {paced_.Sorted(), alone_->PacedMilliseconds()};
  }

  // Waits for every row and call event still due, and a little for any that should not come.
  void Drain() {
    while (ledger_.outstanding() > 0) WaitForRows();
    if (!alone_->WaitForAll(kStuck)) {
      throw Failure("the driver loaded alone lost calls:\n" + alone_->Problems());
    }
  }

  Memory MemoryNow() {
    Drain();
    return {ResidentKilobytes(std::to_string(recorder_->pid())), ResidentKilobytes("self")};
  }

  // Every row set against its call, and the recorder stopped: what went wrong, or empty.
  std::string Verdict() {
    std::this_thread::sleep_for(2s);  // a row written twice may come late
    Poll();
    std::string problems = ledger_.Problems();
    const std::int64_t counted = rows_->Count();
    if (counted != static_cast<std::int64_t>(ledger_.heard())) {
      problems += "the table holds " + std::to_string(counted) + " rows, " +
                  std::to_string(ledger_.heard()) + " were seen added\n";
    }
    const std::string alone = alone_->Problems();
    if (!alone.empty()) problems += "the driver loaded alone:\n" + alone;
    rows_.reset();
    if (recorder_->Terminate() != 0) problems += "the recorder did not end in order at SIGTERM\n";
    return problems;
  }

  std::size_t rows() const { return ledger_.heard(); }

 private:
  void StartRecorder(const fs::path& recorder, const std::string& driver) {
    const fs::path app = base_ / "app";
    for (const fs::path& folder : {app, base_ / "work", base_ / "run"}) {
      fs::create_directories(folder);
    }
    fs::permissions(base_ / "run", fs::perms::owner_all);
    fs::copy_file(recorder, app / "qelto-callerid");
    fs::copy_file(driver, app / "libPOS_CIDR.so");
    std::ofstream(app / "POS_CIDR.conf")
        << "[device]\nkind = pbx\nhost = 127.0.0.1\nport = " << recorder_server_.port()
        << "\nuser = bench\nsecret = s\nline = 1\n";
    std::ofstream(app / "Server_Config.dll") << "bench\nsqlite:calls.sqlite\nShop\n0\nrecorder\n";
    const fs::path run = base_ / "run";
    recorder_ = std::make_unique<RecorderProcess>(
        app / "qelto-callerid", base_ / "work", base_ / "recorder.err",
        RecorderEnvironment({"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + run.string(),
                             "QELTO_CIDR_SIM_SOCKET=" + (run / "sim.sock").string()}));
    if (!recorder_->started()) throw Failure("cannot start " + recorder.string());
    // The driver loaded here has a control socket of its own.
    ::setenv("QELTO_CIDR_SIM_SOCKET", (run / "alone.sock").c_str(), 1);
  }

  void Send(std::size_t index) {
    const Kind& kind = kDay[index % kDayLength];
    const std::string bytes =
        calls_[index % kDayLength].Render(CallLedger::Number(index), numbering_);
    const Clock::time_point now = Clock::now();
    ledger_.Sent(index, kind.expected);
    paced_.Sent(index, now);
    alone_->Sent(index, kind.expected, now);
    if (!recorder_server_.Send(bytes)) {
      throw Failure("the recorder's driver is not logged in to the fake server any more");
    }
    if (!alone_server_.Send(bytes)) {
      throw Failure("the driver loaded alone is not logged in to the fake server any more");
    }
  }

  void Row(std::string_view number) {
    paced_.Heard(number, Clock::now());
    ledger_.Heard(number);
  }

  // Polls until a row comes; fails when none comes for kStuck or the recorder ended.
  void WaitForRows() {
    const Clock::time_point since = Clock::now();
    while (Poll() == 0) {
      if (Clock::now() - since > kStuck) {
        throw Failure("no row for " + std::to_string(kStuck.count()) + " s with " +
                      std::to_string(ledger_.outstanding()) + " due (" +
                      std::to_string(ledger_.heard()) + " rows so far):\n" + ledger_.Problems());
      }
      std::this_thread::sleep_for(kPollGap);
    }
  }

  // The rows added since the last poll, each set against its call.
  std::size_t Poll() {
    if (!recorder_->Running())
      throw Failure("the recorder ended by itself (see recorder.err, work/log.txt)");
    return rows_->Poll([this](std::string_view number) { Row(number); });
  }

  fs::path base_;
  FakeAmiServer recorder_server_;
  FakeAmiServer alone_server_;
  std::unique_ptr<RecorderProcess> recorder_;
  std::unique_ptr<LoneDriver> alone_;
  std::unique_ptr<RowReader> rows_;
  std::vector<TranscriptCall> calls_;
  ChannelNumbering numbering_;
  CallLedger ledger_;
  PacedTimes paced_;
};

void PrintTimes(const char* what, const std::vector<double>& sorted) {
  if (sorted.empty()) return;
  std::printf("    %-44s %4zu calls: median %6.2f ms, p99 %6.2f ms, max %6.2f ms\n", what,
              sorted.size(), sorted[sorted.size() / 2], sorted[sorted.size() * 99 / 100],
              sorted.back());
}

void PrintMemory(const char* what, long early, long late, std::size_t calls) {
  std::printf("  %-42s after 1,000: %9s  after %zu: %9s  growth %+.2f MB (goal at most 1 MB)\n",
              what, Megabytes(early).c_str(), calls, Megabytes(late).c_str(),
              static_cast<double>(late - early) / 1024);
}

struct Options {
  fs::path recorder, driver, transcripts;
  std::size_t calls = 1000000;
  std::size_t paced = 1000;
};

std::optional<Options> Parse(int argc, char** argv) {
  Options options;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if ((argument == "--calls" || argument == "--paced") && i + 1 < argc) {
      const long value = std::atol(argv[++i]);
      if (value <= 0) return std::nullopt;
      (argument == "--calls" ? options.calls : options.paced) = static_cast<std::size_t>(value);
    } else {
      paths.push_back(argument);
    }
  }
  if (paths.size() != 3 || options.calls <= kEarlyMark) return std::nullopt;
  options.recorder = paths[0];
  options.driver = paths[1];
  options.transcripts = paths[2];
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = Parse(argc, argv);
  if (!options) {
    std::fprintf(stderr,
                 "usage: qelto-bench-soak RECORDER DRIVER TRANSCRIPTS [--calls N (over 1000)] "
                 "[--paced M]\n");
    return 2;
  }
  char directory[] = "/tmp/qelto-bench-soak-XXXXXX";
  if (::mkdtemp(directory) == nullptr) return 1;
  const fs::path base = directory;
  const std::size_t calls = options->calls;
  try {
    Soak soak(base, fs::absolute(options->recorder), fs::absolute(options->driver).string(),
              fs::absolute(options->transcripts), 1 + calls + options->paced);
    soak.WarmUp();
    Memory early, late;
    const double rate = soak.Fast(1, 1 + calls, early);
    late = soak.MemoryNow();
    const auto latencies = soak.Paced(1 + calls, 1 + calls + options->paced);
    const std::size_t rows = soak.rows();
    const std::string problems = soak.Verdict();

    std::printf("bench-soak: %zu calls of %zu kinds, then %zu at 50 a second; %zu rows\n", calls,
                kDayLength, options->paced, rows);
    std::printf("  fast: %.0f calls a second (a million would take %.0f minutes)\n", rate,
                1e6 / rate / 60);
    std::printf("  at 50 calls a second (goal for the row: p99 at most 10 ms):\n");
    PrintTimes("send to row", latencies.rows);
    PrintTimes("send to the call event of the driver alone", latencies.events);
    std::printf("  resident memory:\n");
    PrintMemory("recorder (with its driver)", early.recorder, late.recorder, calls);
    PrintMemory("driver alone (this process, fake servers)", early.driver, late.driver, calls);
    if (!problems.empty()) {
      std::fprintf(stderr, "bench-soak: FAILED\n%sthe recorder's folders are kept in %s\n",
                   problems.c_str(), directory);
      return 1;
    }
    std::printf("  every call from outside written once, no internal or outgoing call written\n");
  } catch (const Failure& failure) {
    std::fprintf(stderr, "bench-soak: FAILED: %s\nthe recorder's folders are kept in %s\n",
                 failure.what(), directory);
    return 1;
  }
  fs::remove_all(base);
  return 0;
}
