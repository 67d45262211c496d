// Looking up a telephone system's host: never a reason for a stop to wait, whatever the name
// server does. The look-up itself with fakes; the device's worker and the system's resolver as
// they are.

#include "drivers/pbx/host_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "drivers/driver_platform.h"

#ifdef _WIN32
#include "drivers/pbx/win32/pbx_worker.h"
#include "drivers/pbx/win32/system_resolver.h"
#else
#include "drivers/pbx/posix/pbx_worker.h"
#include "drivers/pbx/posix/tcp_client.h"
#endif

namespace qelto::sim {
namespace {

using Strings = std::vector<std::string>;

const HostAddress kLoopback{2, 1, 6, "bytes", "127.0.0.1"};

// A name server the test holds: it answers once the test lets it, or, for a row that stops
// first, only when the test is over.
class HeldResolver final : public HostResolver {
 public:
  explicit HeldResolver(std::optional<HostLookupResult> address = std::nullopt,
                        HostLookupResult answer = {{kLoopback}, ""})
      : address_(std::move(address)), answer_(std::move(answer)) {}

  std::optional<HostLookupResult> ResolveAddress(const std::string&, int) override {
    return address_;
  }
  HostLookupResult Resolve(const std::string& host, int port) override {
    std::unique_lock lock(mutex_);
    asked_.push_back(host + ":" + std::to_string(port));
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
    return answer_;
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  // Waits until the look-up has reached the name server.
  Strings AwaitAsked() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !asked_.empty(); });
    return asked_;
  }
  Strings asked() {
    std::lock_guard lock(mutex_);
    return asked_;
  }

 private:
  std::optional<HostLookupResult> address_;
  HostLookupResult answer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  Strings asked_;
};

// Detached threads that the test joins at its end, after the name server was let go.
class Threads {
 public:
  ~Threads() {
    for (std::thread& thread : threads_) thread.join();
  }
  DetachedStart Start() {
    return [this](std::function<void()> body) {
      std::lock_guard lock(mutex_);
      threads_.emplace_back(std::move(body));
    };
  }
  std::size_t started() {
    std::lock_guard lock(mutex_);
    return threads_.size();
  }

 private:
  std::mutex mutex_;
  std::vector<std::thread> threads_;
};

struct LookupCase {
  const char* name;
  std::optional<HostLookupResult> address;  // what the host is as an address
  HostLookupResult answer;                  // the name server's
  bool answers;                             // false: it answers only after the stop
  std::optional<HostLookupResult> expected;
  std::size_t threads;
};

void PrintTo(const LookupCase& row, std::ostream* out) {
  *out << row.name;
}

class LookUp : public testing::TestWithParam<LookupCase> {};

TEST_P(LookUp, AnswersOrStopsWithoutWaitingForTheNameServer) {
  const LookupCase& row = GetParam();
  Threads threads;
  auto resolver = std::make_shared<HeldResolver>(row.address, row.answer);
  if (row.answers) resolver->Open();
  // A row that stops does so once the look-up has reached the name server.
  const auto stopping = [&] { return !row.answers && !resolver->AwaitAsked().empty(); };
  const std::optional<HostLookupResult> result =
      LookUpHost(resolver, "pbx.shop.lan", 5038, threads.Start(), stopping);
  EXPECT_EQ(result, row.expected);
  EXPECT_EQ(threads.started(), row.threads);
  resolver->Open();  // the name server answers at last, to nobody
}

INSTANTIATE_TEST_SUITE_P(Table, LookUp,
                         testing::Values(LookupCase{"AnAddressNeedsNoNameServer",
                                                    HostLookupResult{{kLoopback}, ""},
                                                    {},
                                                    true,
                                                    HostLookupResult{{kLoopback}, ""},
                                                    0},
                                         LookupCase{"ANameIsAskedOnAThreadOfItsOwn",
                                                    std::nullopt,
                                                    {{kLoopback}, ""},
                                                    true,
                                                    HostLookupResult{{kLoopback}, ""},
                                                    1},
                                         LookupCase{
                                             "ANameNotFoundSaysWhy",
                                             std::nullopt,
                                             {{}, "Name or service not known"},
                                             true,
                                             HostLookupResult{{}, "Name or service not known"},
                                             1},
                                         LookupCase{"AStopDoesNotWaitForTheNameServer",
                                                    std::nullopt,
                                                    {{kLoopback}, ""},
                                                    false,
                                                    std::nullopt,
                                                    1}));

// The sink of one worker: what it was told, and whether its system may be connected.
class RecordingSink final : public ModemSink {
 public:
  explicit RecordingSink(bool allowed) : allowed_(allowed) {}
  void OnModemReport(std::uint64_t, std::size_t, bool, std::vector<DriverEvent>) override {}
  bool OnPbxResolved(std::uint64_t, std::size_t, std::vector<std::string> addresses) override {
    std::lock_guard lock(mutex_);
    resolved_.push_back(std::move(addresses));
    changed_.notify_all();
    return allowed_;
  }
  std::vector<Strings> AwaitResolved() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !resolved_.empty(); });
    return resolved_;
  }

 private:
  const bool allowed_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Strings> resolved_;
};

DeviceConfig Pbx(std::string host) {
  DeviceConfig config;
  config.kind = DeviceKind::kPbx;
  config.line = 1;
  config.pbx.host = std::move(host);
  config.pbx.user = "qelto";
  config.pbx.secret = "s";
  return config;
}

// The worker's stop while the name server keeps it waiting: the worker goes, the look-up stays
// until the server answers. Were the stop to wait, the test would never end.
TEST(PbxWorkerLookUp, AStopWhileTheNameServerIsSilentIsPrompt) {
  Threads threads;
  auto resolver = std::make_shared<HeldResolver>();
  RecordingSink sink(true);
  {
    PbxWorker worker(1, 0, Pbx("pbx.shop.lan"), nullptr, sink, resolver, threads.Start());
    EXPECT_EQ(resolver->AwaitAsked(), Strings{"pbx.shop.lan:5038"});
  }
  resolver->Open();
  EXPECT_EQ(resolver->asked(), Strings{"pbx.shop.lan:5038"});
}

// Told that another section names the same system, the worker never connects and waits for its
// stop.
TEST(PbxWorkerLookUp, ASystemAnotherSectionHoldsIsNotConnected) {
  Threads threads;
  const std::shared_ptr<HostResolver> system = SystemHostResolver();
  const std::optional<HostLookupResult> loopback = system->ResolveAddress("127.0.0.1", 9);
  ASSERT_TRUE(loopback.has_value());
  auto resolver = std::make_shared<HeldResolver>(std::nullopt, *loopback);
  resolver->Open();
  RecordingSink sink(false);
  PbxWorker worker(1, 0, Pbx("localhost"), nullptr, sink, resolver, threads.Start());
  EXPECT_EQ(sink.AwaitResolved(), std::vector<Strings>{{"127.0.0.1"}});
}

// The system's own resolver: an address without a name server, a name through it.
TEST(SystemHostResolver, TellsAddressesFromNames) {
  const std::shared_ptr<HostResolver> resolver = SystemHostResolver();
  const std::optional<HostLookupResult> address = resolver->ResolveAddress("127.0.0.1", 5038);
  ASSERT_TRUE(address.has_value());
  EXPECT_EQ(NumericAddresses(*address), Strings{"127.0.0.1"});
  EXPECT_FALSE(address->addresses.front().sockaddr.empty());
  EXPECT_EQ(resolver->ResolveAddress("localhost", 5038), std::nullopt);
  const Strings local = NumericAddresses(resolver->Resolve("localhost", 5038));
  EXPECT_TRUE(std::find(local.begin(), local.end(), "127.0.0.1") != local.end() ||
              std::find(local.begin(), local.end(), "::1") != local.end())
      << testing::PrintToString(local);
}

}  // namespace
}  // namespace qelto::sim
