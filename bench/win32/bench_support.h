#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

#include "app/win32/system_clock.h"
#include "common/clock.h"

namespace qelto::bench {

// The machine's clock, whose tick can be moved past the writer's 15 s wait before it connects.
class SkippingClock : public Clock {
 public:
  std::uint32_t Tick() const override { return system_.Tick() + offset_; }
  LocalDateTime Now() const override { return system_.Now(); }
  void SkipReconnectWait() { offset_ += 60'000; }

 private:
  SystemClock system_;
  std::atomic<std::uint32_t> offset_{0};  // moved on the bench's thread, read on the writer's
};

// The path of `name` in `folder`, with the file and an SQLite database's side files removed.
inline std::string FreshFile(const std::string& folder, const std::string& name) {
  const std::string path = (std::filesystem::path(folder) / name).string();
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  return path;
}

}  // namespace qelto::bench
