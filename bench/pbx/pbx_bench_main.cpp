// qelto-bench-pbx: the driver's part of a telephone system's call, measured against our fake
// manager interface on loopback, with the real libPOS_CIDR.so loaded as the recorder loads it:
//   - latency: from the moment the server sends a call's first event to the driver's call event,
//     one call at a time (median and 99th percentile);
//   - storm: 1,000 events a second for 10 s (ring groups of 10 extensions), and the CPU the whole
//     process spent meanwhile (the driver's threads, and the fake server's sending too, so an
//     upper bound of the driver's share).
// Usage: qelto-bench-pbx PATH/TO/libPOS_CIDR.so

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ami_transcript.h"
#include "device/driver_abi.h"
#include "fake_ami_server.h"
#include "loaded_driver.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using qelto::bench::LoadedDriver;
using qelto::cidr::testing_support::AmiChannel;
using qelto::cidr::testing_support::FakeAmiServer;
namespace ami = qelto::cidr::testing_support;

std::mutex mutex;
std::condition_variable arrived;
int calls = 0;
Clock::time_point last_call;
bool ready = false;

void CIDR_CALL OnEvent(std::int32_t code, const char16_t* text) {
  std::lock_guard lock(mutex);
  if (code > 0) {
    ++calls;
    last_call = Clock::now();
  } else if (std::u16string_view(text).find(u": pbx ready") != std::u16string_view::npos) {
    ready = true;
  }
  arrived.notify_all();
}

// Call `n`: a trunk channel ringing `extensions` phones; 2 + 3 * extensions events.
std::string Call(int n, int extensions) {
  const std::string key = std::to_string(1800000000 + n);
  const AmiChannel trunk{"PJSIP/provider-" + key,
                         "from-trunk",
                         "02155550000",
                         "0912" + std::to_string(1000000 + n),
                         key + ".0",
                         key + ".0"};
  std::string text = ami::Newchannel(trunk);
  std::vector<AmiChannel> phones;
  for (int e = 1; e <= extensions; ++e) {
    phones.push_back({"PJSIP/" + std::to_string(200 + e) + "-" + key, "from-internal",
                      std::to_string(200 + e), trunk.caller, key + "." + std::to_string(e),
                      key + ".0"});
    text += ami::Newchannel(phones.back()) + ami::DialBegin(trunk, phones.back());
  }
  for (const AmiChannel& phone : phones) text += ami::Hangup(phone);
  return text + ami::Hangup(trunk);
}

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool WaitForCalls(int count) {
  std::unique_lock lock(mutex);
  return arrived.wait_for(lock, 30s, [&] { return calls >= count; });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qelto-bench-pbx PATH/TO/libPOS_CIDR.so\n");
    return 2;
  }
  char directory[] = "/tmp/qelto-bench-pbx-XXXXXX";
  if (::mkdtemp(directory) == nullptr) return 1;
  FakeAmiServer server("bench", "s");
  ::setenv("QELTO_CIDR_SIM_SOCKET", (std::string(directory) + "/sim.sock").c_str(), 1);
  LoadedDriver driver(argv[1], directory, server.port());
  if (!driver.problem().empty()) {
    std::fprintf(stderr, "qelto-bench-pbx: %s\n", driver.problem().c_str());
    return 1;
  }
  driver.Register(OnEvent);
  {
    std::unique_lock lock(mutex);
    if (!arrived.wait_for(lock, 30s, [] { return ready; })) return 1;
  }

  // Latency, one call at a time, each ringing 10 phones.
  std::vector<double> latencies;
  for (int n = 0; n < 300; ++n) {
    const std::string call = Call(n, 10);
    const Clock::time_point sent = Clock::now();
    server.Send(call);
    if (!WaitForCalls(n + 1)) return 1;
    std::lock_guard lock(mutex);
    latencies.push_back(std::chrono::duration<double, std::milli>(last_call - sent).count());
  }
  std::sort(latencies.begin(), latencies.end());
  std::printf("send to call event, 300 calls: median %.3f ms, p99 %.3f ms, max %.3f ms\n",
              latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100],
              latencies.back());

  // The storm: 32 events per call, 31 calls a second in slices of 100 ms.
  constexpr int kSeconds = 10;
  constexpr int kCallsPerSlice = 3;  // 3 calls = 96 events per 100 ms, about 1,000 a second
  std::vector<std::string> slices;
  int next = 1000;
  for (int slice = 0; slice < kSeconds * 10; ++slice) {
    std::string bytes;
    for (int i = 0; i < kCallsPerSlice; ++i) bytes += Call(next++, 10);
    slices.push_back(std::move(bytes));
  }
  const int before = calls;
  const double cpu_before = CpuSeconds();
  const Clock::time_point start = Clock::now();
  for (std::size_t slice = 0; slice < slices.size(); ++slice) {
    server.Send(slices[slice]);
    std::this_thread::sleep_until(start + (slice + 1) * 100ms);
  }
  if (!WaitForCalls(before + kSeconds * 10 * kCallsPerSlice)) return 1;
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = CpuSeconds() - cpu_before;
  std::printf("storm: %d events in %.1f s (%d calls), process CPU %.3f s = %.1f%% of one core\n",
              kSeconds * 10 * kCallsPerSlice * 32, wall, kSeconds * 10 * kCallsPerSlice, cpu,
              100.0 * cpu / wall);
  std::filesystem::remove_all(directory);
  return 0;
}
