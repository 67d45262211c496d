// Looking up a telephone system's host: never a reason for a stop to wait, whatever the name
// server does. The look-up itself with fakes, the system's resolver as it is (a device's runner
// with a look-up that hangs: device_runner_test.cpp).

#include "drivers/pbx/host_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "held_resolver.h"

#ifdef _WIN32
#include "drivers/pbx/win32/system_resolver.h"
#else
#include "drivers/pbx/posix/tcp_client.h"
#endif

namespace qelto::cidr {
namespace {

using testing_support::HeldResolver;
using testing_support::kLoopback;
using testing_support::Strings;
using testing_support::Threads;

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
}  // namespace qelto::cidr
