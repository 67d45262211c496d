#pragma once

// A name server a test holds, and the detached threads of its look-ups, joined at the test's end.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "drivers/pbx/host_lookup.h"

namespace qelto::cidr::testing_support {

using Strings = std::vector<std::string>;

inline const HostAddress kLoopback{2, 1, 6, "bytes", "127.0.0.1"};

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

}  // namespace qelto::cidr::testing_support
