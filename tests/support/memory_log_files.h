#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ui/log_files.h"

namespace qelto::testing_support {

// Log files kept in memory; the test reads back the messages written.
class MemoryLogFiles : public LogFiles {
 public:
  std::int64_t FileSizeOf(const std::string&) override { return -1; }
  bool CreateEmpty(const std::string&) override { return true; }
  std::unique_ptr<LogFile> OpenForAppend(const std::string&) override;

  // The messages written so far, without their time stamps.
  std::vector<std::string> Messages() const;

 private:
  mutable std::mutex lock_;
  std::string content_;
};

}  // namespace qelto::testing_support
