#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/log_files.h"

namespace qelto::bench {

// An activity log kept in memory, so that the benchmark can show what the writer complained of.
// The writer logs only failures: in a clean run the log stays empty.
class MemoryLogFiles : public LogFiles {
 public:
  std::int64_t FileSizeOf(const std::string& name) override;
  bool CreateEmpty(const std::string& name) override;
  std::unique_ptr<LogFile> OpenForAppend(const std::string& name) override;

  // Every line written so far, from any of the files opened here.
  std::vector<std::string> Lines() const;

 private:
  class File;
  void Add(std::string line);

  mutable std::mutex lock_;
  std::vector<std::string> lines_;
};

}  // namespace qelto::bench
