#pragma once

#include "ui/log_files.h"

namespace qelto {

// Log files on a POSIX file system. Lines are appended with O_APPEND and one write() each, so
// every line lands whole at the end of the file, even with several writers.
class PosixLogFiles : public LogFiles {
 public:
  std::int64_t FileSizeOf(const std::string& name) override;
  bool CreateEmpty(const std::string& name) override;
  std::unique_ptr<LogFile> OpenForAppend(const std::string& name) override;
};

}  // namespace qelto
