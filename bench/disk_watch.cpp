#include "bench/disk_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "bench/statistics.h"

namespace qelto::bench {
namespace {

constexpr auto kInterval = std::chrono::milliseconds(200);
constexpr char kRecord[] = "W 1234567\n";  // the size of a journal strike record

}  // namespace

DiskWatch::DiskWatch(const std::string& folder)
    : path_((std::filesystem::path(folder) / "disk-watch.txt").string()),
      fd_(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600)),
      thread_([this](std::stop_token stop) { Run(stop); }) {}

DiskWatch::~DiskWatch() {
  thread_.request_stop();
  thread_.join();
  if (fd_ >= 0) ::close(fd_);
  std::filesystem::remove(path_);
}

void DiskWatch::Run(const std::stop_token& stop) {
  std::mutex sleeping;
  std::unique_lock sleep(sleeping);
  while (fd_ >= 0 && !stop.stop_requested()) {
    const TimePoint start = std::chrono::steady_clock::now();
    if (::write(fd_, kRecord, sizeof kRecord - 1) < 0 || ::fdatasync(fd_) != 0) return;
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    {
      std::lock_guard guard(lock_);
      samples_.push_back({start, ms});
    }
    wake_.wait_for(sleep, stop, kInterval, [] { return false; });
  }
}

DiskWatch::Stats DiskWatch::Since(TimePoint start) const {
  std::vector<double> ms;
  {
    std::lock_guard guard(lock_);
    for (const Sample& sample : samples_) {
      if (sample.start >= start) ms.push_back(sample.ms);
    }
  }
  return Stats{static_cast<int>(ms.size()), Percentile(ms, 0.5), Percentile(ms, 0.99), Maximum(ms)};
}

}  // namespace qelto::bench
