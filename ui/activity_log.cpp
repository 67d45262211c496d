#include "ui/activity_log.h"

#include <cstdio>
#include <utility>

#include "ui/log_text.h"

namespace qelto {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

std::string FormatLogLine(const LocalDateTime& t, std::string_view message) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d - ", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  std::string line(stamp);
  line.append(EscapedLogText(message, kMaxLogLineBytes - line.size() - kLineEnd.size()));
  line.append(kLineEnd);
  return line;
}

ActivityLog::ActivityLog(LogFiles& files, const Clock& clock, std::string fileName)
    : files_(files), clock_(clock), fileName_(std::move(fileName)) {}

void ActivityLog::Open() {
  std::unique_ptr<LogFile> stream;
  try {
    const std::int64_t size = files_.FileSizeOf(fileName_);
    if (size == -1 || size > kLogSizeLimit) files_.CreateEmpty(fileName_);
    stream = files_.OpenForAppend(fileName_);
  } catch (...) {
    stream.reset();  // logging stays off for this run
  }
  std::lock_guard guard(lock_);
  LogStream = std::move(stream);
}

void ActivityLog::WriteLog(std::string_view message) {
  try {
    std::lock_guard guard(lock_);
    if (!LogStream) return;
    LogStream->Append(FormatLogLine(clock_.Now(), message));
  } catch (...) {
    // The line is lost; the next one is tried again.
  }
}

void ActivityLog::Close() {
  std::lock_guard guard(lock_);
  LogStream.reset();
}

bool ActivityLog::IsOpen() const {
  std::lock_guard guard(lock_);
  return LogStream != nullptr;
}

}  // namespace qelto
