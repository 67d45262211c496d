#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "drivers/driver_platform.h"
#include "drivers/posix/unique_fd.h"
#include "drivers/raw_record.h"

namespace qelto::cidr {

// The raw data file: every byte read from (and sent to) the modems, with time stamps, one
// record per read (see FormatRawRecord). Shared by the modems' threads. A file grown beyond
// kRawLogLimit is renamed to "<path>.1", replacing the one before, and a new one begun, so a
// modem that babbles cannot fill the disk.
class RawLogFile final : public RawLog {
 public:
  static constexpr std::uint64_t kRawLogLimit = 10'000'000;

  // Opens `path` for appending, creating it (mode 0600: it holds callers' numbers). Returns
  // null and sets `error` when it cannot.
  static std::unique_ptr<RawLogFile> Open(const std::string& path, std::string& error);

  // Appends one record stamped with the local time. Thread-safe. A failed write is dropped:
  // the file is an aid for diagnosis, never a reason to stop reading a modem.
  void Write(std::int32_t line, RawDirection direction, std::string_view bytes) override;

 private:
  RawLogFile(UniqueFd fd, std::string path, std::uint64_t size);
  void RotateLocked();

  std::mutex mutex_;
  UniqueFd fd_;
  std::string path_;
  std::uint64_t size_;
};

}  // namespace qelto::cidr
