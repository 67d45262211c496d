#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "common/activity_log_writer.h"
#include "common/clock.h"
#include "ui/log_files.h"

namespace qelto {

// The log's file name, relative to the working directory the recorder was started in.
inline constexpr const char* kLogFileName = "log.txt";
// A log larger than this at start is emptied; the size is not checked again during a run.
inline constexpr std::int64_t kLogSizeLimit = 10'000'000;

// One line of the log: "YYYY-MM-DD HH:mm:ss - " in Gregorian local time, the message, CR LF.
// The message is escaped and cut as EscapedLogText does, so the line is at most
// kMaxLogLineBytes long and holds no raw control character or broken UTF-8.
std::string FormatLogLine(const LocalDateTime& moment, std::string_view message);

// The activity log. Best effort: a log that cannot be opened turns logging off for the run, a
// line that cannot be written is lost, and neither is reported. Safe to use from several threads;
// each line reaches the file whole.
class ActivityLog : public ActivityLogWriter {
 public:
  ActivityLog(LogFiles& files, const Clock& clock, std::string fileName = kLogFileName);

  // Opens the log at start: empties a missing or oversized file, then opens it for appending.
  void Open();
  // Appends one time-stamped line; does nothing while the log is not open.
  void WriteLog(std::string_view message) override;
  // Closes the log; later lines are dropped.
  void Close();
  bool IsOpen() const;

 private:
  LogFiles& files_;
  const Clock& clock_;
  const std::string fileName_;
  mutable std::mutex lock_;  // guards LogStream; held for one whole write, and while closing
  std::unique_ptr<LogFile> LogStream;
};

}  // namespace qelto
