#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace qelto::bench {

// Times one small append and fdatasync on the work folder's disk every 200 ms, for as long as it
// lives, so that the figures can be read against what the disk itself did meanwhile: a journal
// record or a database commit cannot be faster than the disk's fdatasync, and a disk that stalls
// for seconds stalls the recorder's tick with it. Its own load (5 syncs a second) is negligible.
class DiskWatch {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  explicit DiskWatch(const std::string& folder);
  ~DiskWatch();
  DiskWatch(const DiskWatch&) = delete;
  DiskWatch& operator=(const DiskWatch&) = delete;

  struct Stats {
    int samples = 0;
    double medianMs = 0;
    double p99Ms = 0;
    double maxMs = 0;
  };
  // The syncs that started at or after `start`; all of them by default.
  Stats Since(TimePoint start = {}) const;

 private:
  struct Sample {
    TimePoint start;
    double ms;
  };
  void Run(const std::stop_token& stop);

  const std::string path_;
  int fd_ = -1;
  mutable std::mutex lock_;  // guards samples_
  std::vector<Sample> samples_;
  std::condition_variable_any wake_;
  std::jthread thread_;  // last: started when everything it uses exists
};

}  // namespace qelto::bench
