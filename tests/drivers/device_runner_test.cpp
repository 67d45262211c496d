// A device's runner over a scripted transport, a fake clock and a session that says what it is
// told: opens and reopens, bytes, losses, failed writes, closes, faults and stops. Then the
// runner over the TCP transport, with a name server that does not answer and a system that
// another section holds.

#include "drivers/device_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "drivers/tcp_transport.h"
#include "pbx/held_resolver.h"

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

std::string Narrow(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}

// Everything the runner did, in order, from all sides; and the test's wait for it to go idle.
class Journal {
 public:
  void Add(std::string entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
  }
  // The script has run out: the runner waits for its stop now.
  void Idle() {
    std::lock_guard lock(mutex_);
    idle_ = true;
    changed_.notify_all();
  }
  bool AwaitIdle() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [this] { return idle_; });
  }
  Strings entries() {
    std::lock_guard lock(mutex_);
    return entries_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool idle_ = false;
  Strings entries_;
};

// A clock that moves only when the runner pauses, by as much as it asked for. After
// `timed_pauses` of those it holds the runner until the stop.
class FakeWaiter final : public DeviceWaiter {
 public:
  explicit FakeWaiter(Journal& journal, int timed_pauses = -1)
      : journal_(journal), timed_pauses_(timed_pauses) {}

  void Stop() override {
    std::lock_guard lock(mutex_);
    stop_ = true;
    changed_.notify_all();
  }
  bool stopping() const override {
    std::lock_guard lock(mutex_);
    return stop_;
  }
  bool PauseUntil(std::optional<TimePoint> until) override {
    if (until) {
      std::lock_guard lock(mutex_);
      journal_.Add("pause " + std::to_string((*until - now_) / 1ms) + " ms");
      now_ = *until;
      if (timed_pauses_ < 0 || --timed_pauses_ > 0) return !stop_;
    } else {
      journal_.Add("pause until the stop");
    }
    journal_.Idle();
    AwaitStop();
    return false;
  }
  TimePoint Now() const override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  void AwaitStop() const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_; });
  }

 private:
  Journal& journal_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  int timed_pauses_;
  bool stop_ = false;
  TimePoint now_{};
};

// What one open of the scripted transport does: fail, or give a link that receives `received`
// in turn ("lost:WHY" loses it) and whose writes fail once `failing_write` is not empty. A
// transport that looks for its device says where it `found` it.
struct Opening {
  std::string fails;
  Strings received;
  std::string failing_write;
  std::string found;
};

Opening Fails(std::string why) {
  return {std::move(why), {}, {}, {}};
}
Opening Gives(Strings received, std::string failing_write = {}) {
  return {{}, std::move(received), std::move(failing_write), {}};
}
Opening FoundAt(const std::string& port, Strings received) {
  return {{}, std::move(received), {}, "modem USB\\VID_0572&PID_1340\\0001 found at " + port};
}

class ScriptedLink final : public DeviceLink {
 public:
  ScriptedLink(Opening opening, FakeWaiter& waiter, Journal& journal)
      : opening_(std::move(opening)), waiter_(waiter), journal_(journal) {}
  ~ScriptedLink() override { journal_.Add("link closed"); }

  Received Receive(std::optional<TimePoint>, std::string& bytes, std::string& why) override {
    if (next_ == opening_.received.size()) {
      journal_.Idle();
      waiter_.AwaitStop();
      return Received::kStopped;
    }
    const std::string& item = opening_.received[next_++];
    if (item.starts_with("lost:")) {
      why = item.substr(5);
      return Received::kLost;
    }
    bytes = item;
    return Received::kBytes;
  }
  bool Send(std::string_view bytes, std::string& why) override {
    journal_.Add("write " + std::string(bytes));
    why = opening_.failing_write;
    return why.empty();
  }

 private:
  Opening opening_;
  std::size_t next_ = 0;
  FakeWaiter& waiter_;
  Journal& journal_;
};

class ScriptedTransport final : public DeviceTransport {
 public:
  ScriptedTransport(std::vector<Opening> script, FakeWaiter& waiter, Journal& journal)
      : script_(script.begin(), script.end()), waiter_(waiter), journal_(journal) {}

  OpenedLink Open() override {
    OpenedLink opened;
    if (script_.empty()) {  // as a port that takes long to open: the stop ends it
      journal_.Idle();
      waiter_.AwaitStop();
      return opened;
    }
    Opening opening = std::move(script_.front());
    script_.pop_front();
    if (!opening.fails.empty()) {
      opened.why = opening.fails;
      return opened;
    }
    opened.note = "opened fake";
    opened.found = opening.found;
    opened.link = std::make_unique<ScriptedLink>(std::move(opening), waiter_, journal_);
    return opened;
  }

 private:
  std::deque<Opening> script_;
  FakeWaiter& waiter_;
  Journal& journal_;
};

// A device that greets at every open and reports a call for "call N"; "close" asks for the
// link to be closed, "throw" throws, as a full disk or memory would.
class EchoSession final : public DeviceSession {
 public:
  explicit EchoSession(Journal& journal) : journal_(journal) {}

  DeviceStep OnOpenFailed(std::string_view reason) override {
    return Status("unavailable (" + std::string(reason) + ")");
  }
  DeviceStep OnOpened(TimePoint now) override {
    journal_.Add("session opened at " + std::to_string(now.time_since_epoch() / 1ms) + " ms");
    connected_ = true;
    DeviceStep step = Status("ready");
    step.send = "HELLO secret";
    step.send_shown = "HELLO ******";
    return step;
  }
  DeviceStep OnBytes(std::string_view bytes, TimePoint) override {
    if (bytes == "throw") throw std::runtime_error("no room on the disk");
    DeviceStep step;
    if (bytes == "close") {
      connected_ = false;
      step.close = true;
      step.why = "asked to";
    } else if (bytes.starts_with("call ")) {
      step.events.push_back(CallEvent(7, std::u16string(bytes.begin() + 5, bytes.end())));
    }
    return step;
  }
  DeviceStep OnTime(TimePoint) override { return {}; }
  DeviceStep OnLost(std::string_view reason) override {
    connected_ = false;
    return Status("lost (" + std::string(reason) + ")");
  }
  std::optional<TimePoint> Deadline() const override { return std::nullopt; }
  std::chrono::milliseconds RetryDelay() const override { return 3s; }
  bool connected() const override { return connected_; }

 private:
  static DeviceStep Status(const std::string& text) {
    DeviceStep step;
    step.events.push_back(StatusEvent(std::u16string(text.begin(), text.end())));
    return step;
  }

  Journal& journal_;
  bool connected_ = false;
};

class JournalSink final : public DeviceSink, public RawLog {
 public:
  JournalSink(Journal& journal, bool allowed) : journal_(journal), allowed_(allowed) {}

  void OnDeviceReport(std::uint64_t generation, std::size_t device, bool connected,
                      std::vector<DriverEvent> events) override {
    std::string entry = "report " + std::to_string(generation) + "/" + std::to_string(device) +
                        (connected ? " connected" : " disconnected");
    for (const DriverEvent& event : events) {
      const std::string code = event.code != 0 ? std::to_string(event.code) + ":" : "";
      entry += " [" + code + Narrow(event.text) + "]";
    }
    journal_.Add(entry);
  }
  bool OnPbxResolved(std::uint64_t, std::size_t, std::vector<std::string> addresses) override {
    std::string entry = "claim";
    for (const std::string& address : addresses) entry += " " + address;
    journal_.Add(entry);
    return allowed_;
  }
  void Write(std::int32_t line, RawDirection direction, std::string_view bytes) override {
    journal_.Add("raw " + std::to_string(line) + " " + static_cast<char>(direction) + " " +
                 std::string(bytes));
  }

 private:
  Journal& journal_;
  bool allowed_;
};

constexpr DeviceRunner::Identity kIdentity{4, 2, 7};

struct RunnerCase {
  const char* name;
  std::vector<Opening> script;
  Strings expected;
};

class DeviceRunnerTest : public ::testing::TestWithParam<RunnerCase> {};

TEST_P(DeviceRunnerTest, DoesWhatTheSessionAndTheTransportSay) {
  Journal journal;
  JournalSink sink(journal, true);
  {
    auto waiter = std::make_unique<FakeWaiter>(journal);
    auto transport = std::make_unique<ScriptedTransport>(GetParam().script, *waiter, journal);
    DeviceRunner runner(kIdentity, std::make_unique<EchoSession>(journal), std::move(transport),
                        std::move(waiter), &sink, sink);
    ASSERT_TRUE(journal.AwaitIdle());
  }
  EXPECT_EQ(journal.entries(), GetParam().expected);
}

const Strings kOpened{"raw 7 # opened fake", "session opened at 0 ms",
                      "report 4/2 connected [Sready]", "raw 7 > HELLO ******",
                      "write HELLO secret"};

Strings Then(Strings first, const Strings& more) {
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

Strings SessionOpened(int at_ms) {
  return {"session opened at " + std::to_string(at_ms) + " ms", "report 4/2 connected [Sready]",
          "raw 7 > HELLO ******", "write HELLO secret"};
}
Strings Found(const std::string& port) {
  return {"raw 7 # opened fake",
          "report 4/2 disconnected [SLine 7: modem USB\\VID_0572&PID_1340\\0001 found at " + port +
              "]"};
}
const Strings kLostToHangUp{"report 4/2 disconnected [Slost (hang-up)]", "link closed",
                            "raw 7 # closed: hang-up", "pause 3000 ms"};

INSTANTIATE_TEST_SUITE_P(
    Runs, DeviceRunnerTest,
    ::testing::Values(
        RunnerCase{"StoppedWhileOpening", {}, {}},
        RunnerCase{"OpenFailsThenSucceedsAfterTheRetryDelay",
                   {Fails("No such file"), Fails("No such file"), Gives({})},
                   {"report 4/2 disconnected [Sunavailable (No such file)]", "pause 3000 ms",
                    "report 4/2 disconnected [Sunavailable (No such file)]", "pause 3000 ms",
                    "raw 7 # opened fake", "session opened at 6000 ms",
                    "report 4/2 connected [Sready]", "raw 7 > HELLO ******", "write HELLO secret",
                    "link closed", "raw 7 # closed: the driver stopped"}},
        RunnerCase{
            "BytesBecomeACallAndRawData",
            {Gives({"call 0912", "noise"})},
            Then(kOpened, {"raw 7 < call 0912", "report 4/2 connected [7:C0912]", "raw 7 < noise",
                           "link closed", "raw 7 # closed: the driver stopped"})},
        RunnerCase{
            "LostThenOpenedAgain",
            {Gives({"lost:hang-up"}), Gives({"call 1"})},
            Then(Then(kOpened, {"report 4/2 disconnected [Slost (hang-up)]", "link closed",
                                "raw 7 # closed: hang-up", "pause 3000 ms", "raw 7 # opened fake",
                                "session opened at 3000 ms", "report 4/2 connected [Sready]",
                                "raw 7 > HELLO ******", "write HELLO secret"}),
                 {"raw 7 < call 1", "report 4/2 connected [7:C1]", "link closed",
                  "raw 7 # closed: the driver stopped"})},
        RunnerCase{"AFailedWriteLosesTheLink",
                   {Gives({}, "the port takes no more data")},
                   {"raw 7 # opened fake", "session opened at 0 ms",
                    "report 4/2 connected [Sready]", "raw 7 > HELLO ******", "write HELLO secret",
                    "report 4/2 disconnected [Slost (the port takes no more data)]", "link closed",
                    "raw 7 # closed: the port takes no more data", "pause 3000 ms"}},
        RunnerCase{"ACloseStepClosesAndReopens",
                   {Gives({"close", "call 2"}), Fails("No such file")},
                   Then(kOpened, {"raw 7 < close", "report 4/2 disconnected", "link closed",
                                  "raw 7 # closed: asked to", "pause 3000 ms",
                                  "report 4/2 disconnected [Sunavailable (No such file)]",
                                  "pause 3000 ms"})},
        RunnerCase{
            "AnExceptionIsToldWithItsText",
            {Gives({"throw"}), Gives({"throw"})},
            Then(
                Then(kOpened, {"raw 7 < throw", "link closed", "raw 7 # fault: no room on the disk",
                               "report 4/2 disconnected [Slost (fault: no room on the disk)] "
                               "[SLine 7: device fault (no room on the disk), retrying]",
                               "pause 3000 ms"}),
                {"raw 7 # opened fake", "session opened at 3000 ms",
                 "report 4/2 connected [Sready]", "raw 7 > HELLO ******", "write HELLO secret",
                 "raw 7 < throw", "link closed", "raw 7 # fault: no room on the disk",
                 "report 4/2 disconnected [Slost (fault: no room on the disk)]", "pause 3000 ms"})},
        // A modem named by its identity: the log hears where it was found when that changes.
        RunnerCase{"WhereADeviceWasFoundIsToldWhenItChanges",
                   {FoundAt("COM5", {"lost:hang-up"}), FoundAt("COM5", {"lost:hang-up"}),
                    FoundAt("COM9", {})},
                   Then(Then(Then(Then(Then(Found("COM5"), SessionOpened(0)), kLostToHangUp),
                                  Then({"raw 7 # opened fake"}, SessionOpened(3000))),
                             Then(kLostToHangUp, Found("COM9"))),
                        Then(SessionOpened(6000),
                             {"link closed", "raw 7 # closed: the driver stopped"}))}),
    [](const ::testing::TestParamInfo<RunnerCase>& row) { return row.param.name; });

// The platform's connect, faked: it journals where it would connect and fails.
class RefusingConnector final : public TcpConnector {
 public:
  explicit RefusingConnector(Journal& journal) : journal_(journal) {}
  std::unique_ptr<DeviceLink> Connect(const std::vector<HostAddress>& addresses,
                                      std::string& why) override {
    journal_.Add("connect " + addresses.front().numeric);
    why = "Connection refused";
    return nullptr;
  }

 private:
  Journal& journal_;
};

struct TcpCase {
  const char* name;
  bool name_server_answers;
  bool claim_allowed;
  Strings expected;
};

class DeviceRunnerOverTcp : public ::testing::TestWithParam<TcpCase> {};

// The look-up goes on alone after the stop, which never waits for it: were it to wait, the row
// that holds the name server would never end.
TEST_P(DeviceRunnerOverTcp, NeverWaitsForTheNameServerNorTakesASystemAnotherHolds) {
  const TcpCase& row = GetParam();
  testing_support::Threads threads;
  auto resolver = std::make_shared<testing_support::HeldResolver>();
  if (row.name_server_answers) resolver->Open();
  Journal journal;
  JournalSink sink(journal, row.claim_allowed);
  {
    auto waiter = std::make_unique<FakeWaiter>(journal, 1);
    auto transport = std::make_unique<TcpTransport>(
        "pbx.shop.lan", 5038, resolver, threads.Start(),
        [&sink](Strings addresses) { return sink.OnPbxResolved(0, 0, std::move(addresses)); },
        std::make_unique<RefusingConnector>(journal), *waiter);
    DeviceRunner runner(kIdentity, std::make_unique<EchoSession>(journal), std::move(transport),
                        std::move(waiter), &sink, sink);
    if (row.name_server_answers) {
      ASSERT_TRUE(journal.AwaitIdle());
    } else {
      EXPECT_EQ(resolver->AwaitAsked(), Strings{"pbx.shop.lan:5038"});
    }
  }
  resolver->Open();
  EXPECT_EQ(journal.entries(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DeviceRunnerOverTcp,
    ::testing::Values(TcpCase{"StoppedWhileTheNameServerIsSilent", false, true, {}},
                      TcpCase{"AnotherSectionsSystemIsNeverConnected",
                              true,
                              false,
                              {"claim 127.0.0.1", "pause until the stop"}},
                      TcpCase{"AFailedConnectWaitsTheRetryDelay",
                              true,
                              true,
                              {"claim 127.0.0.1", "connect 127.0.0.1",
                               "report 4/2 disconnected [Sunavailable (Connection refused)]",
                               "pause 3000 ms"}}),
    [](const ::testing::TestParamInfo<TcpCase>& row) { return row.param.name; });

}  // namespace
}  // namespace qelto::cidr
