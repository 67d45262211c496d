#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qelto {

// An open log file, positioned at its end.
class LogFile {
 public:
  virtual ~LogFile() = default;
  // Writes all of `bytes` at the end of the file in one operation, so that lines written by two
  // threads never interleave. False when the write failed (the line is then lost).
  virtual bool Append(std::string_view bytes) = 0;
};

// The file operations the activity log needs.
class LogFiles {
 public:
  virtual ~LogFiles() = default;
  // Size in bytes of the named directory entry, of any kind, or -1 when there is none.
  virtual std::int64_t FileSizeOf(const std::string& name) = 0;
  // Creates the file anew and empty, cutting any existing content. False on failure.
  virtual bool CreateEmpty(const std::string& name) = 0;
  // Opens the file for writing at its end; null when it cannot be opened.
  virtual std::unique_ptr<LogFile> OpenForAppend(const std::string& name) = 0;
};

}  // namespace qelto
