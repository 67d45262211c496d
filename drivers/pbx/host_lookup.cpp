#include "drivers/pbx/host_lookup.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

namespace qelto::cidr {
namespace {

// Where a look-up's thread leaves its result; shared by the thread and whoever waits.
struct PendingLookup {
  std::mutex mutex;
  std::condition_variable done;
  std::optional<HostLookupResult> result;  // under `mutex`
};

HostLookupResult ResolveCatching(HostResolver& resolver, const std::string& host, int port) {
  try {
    return resolver.Resolve(host, port);
  } catch (const std::exception& failure) {
    return {{}, failure.what()};  // an exception leaving the thread would end the process
  }
}

}  // namespace

std::vector<std::string> NumericAddresses(const HostLookupResult& result) {
  std::vector<std::string> addresses;
  for (const HostAddress& address : result.addresses) addresses.push_back(address.numeric);
  return addresses;
}

std::optional<HostLookupResult> LookUpHost(const std::shared_ptr<HostResolver>& resolver,
                                           const std::string& host, int port,
                                           const DetachedStart& start,
                                           const std::function<bool()>& stopping) {
  if (std::optional<HostLookupResult> address = resolver->ResolveAddress(host, port)) {
    return address;
  }
  auto pending = std::make_shared<PendingLookup>();
  start([pending, resolver, host, port] {
    HostLookupResult result = ResolveCatching(*resolver, host, port);
    std::lock_guard lock(pending->mutex);
    pending->result = std::move(result);
    pending->done.notify_all();
  });
  std::unique_lock lock(pending->mutex);
  while (!pending->result) {
    if (stopping()) return std::nullopt;
    pending->done.wait_for(lock, kLookupStopCheck);
  }
  return std::move(pending->result);
}

}  // namespace qelto::cidr
