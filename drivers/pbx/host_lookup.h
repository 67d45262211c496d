#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qelto::cidr {

// One address a telephone system's host resolved to, as the platform's socket calls take it.
struct HostAddress {
  int family = 0;
  int socktype = 0;
  int protocol = 0;
  std::string sockaddr;  // the socket address's bytes
  std::string numeric;   // printable, "192.168.1.10" or "::1": one system has one address

  friend bool operator==(const HostAddress&, const HostAddress&) = default;
};

struct HostLookupResult {
  std::vector<HostAddress> addresses;
  std::string error;  // why there are none

  friend bool operator==(const HostLookupResult&, const HostLookupResult&) = default;
};

// Turns a host and a port into addresses. Thread-safe; its owners share it with the look-ups
// still running, so it lives as long as the last of them.
class HostResolver {
 public:
  virtual ~HostResolver() = default;
  // The addresses of a host given as an address, found without a name server; nullopt for a name.
  virtual std::optional<HostLookupResult> ResolveAddress(const std::string& host, int port) = 0;
  // Asks the name server; may wait as long as it does.
  virtual HostLookupResult Resolve(const std::string& host, int port) = 0;
};

// The printable addresses of a result, for telling one telephone system from another.
std::vector<std::string> NumericAddresses(const HostLookupResult& result);

// Runs a function on a thread that nobody waits for. The platform's own makes sure the driver's
// code stays loaded until that thread is done.
using DetachedStart = std::function<void(std::function<void()>)>;

// A stop is checked this often while a name server keeps a look-up waiting.
inline constexpr std::chrono::milliseconds kLookupStopCheck{100};

// Resolves `host` for a device's thread without ever holding its stop: an address at once; a
// name on a thread of its own started with `start`, waited for while `stopping` stays false.
// Returns nullopt once `stopping` turned true; the look-up then goes on alone and ends when the
// name server answers or gives up, its result going nowhere: it holds the resolver and the
// place for its result itself, so nothing it touches is freed under it. Throws what `start`
// throws when no thread can be made.
std::optional<HostLookupResult> LookUpHost(const std::shared_ptr<HostResolver>& resolver,
                                           const std::string& host, int port,
                                           const DetachedStart& start,
                                           const std::function<bool()>& stopping);

}  // namespace qelto::cidr
