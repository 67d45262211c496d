#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "common/win32/unique_handle.h"
#include "drivers/driver_platform.h"
#include "drivers/raw_record.h"

namespace qelto::cidr {

// The raw data file on Windows, as on Linux: every byte read from (and sent to) the modems, with
// local time stamps, one record per read (see FormatRawRecord), shared by the modems' threads.
// Beyond kRawLogLimit it is renamed to "<path>.1", replacing the one before, and a new one begun.
// Others may read it while it is open (Notepad, a copy for support), never write it.
class RawLogFile final : public RawLog {
 public:
  static constexpr std::uint64_t kRawLogLimit = 10'000'000;

  // Opens `path` (UTF-8) for appending, creating it. Null, with `error` set, when it cannot.
  static std::unique_ptr<RawLogFile> Open(const std::string& path, std::string& error);

  // Appends one record. Thread-safe; a failed write is dropped.
  void Write(std::int32_t line, RawDirection direction, std::string_view bytes) override;

 private:
  RawLogFile(UniqueHandle file, std::string path, std::uint64_t size);
  void RotateLocked();

  std::mutex mutex_;
  UniqueHandle file_;
  std::string path_;
  std::uint64_t size_;
};

}  // namespace qelto::cidr
