#pragma once

#include <string_view>

namespace qelto {

// Where a part of the recorder writes its lines for the activity log. The log itself
// (ui/activity_log.h) sits above the parts that write to it; they see only this.
class ActivityLogWriter {
 public:
  virtual ~ActivityLogWriter() = default;
  // Appends one time-stamped line, best effort. Safe to call from any thread; each line reaches
  // the log whole.
  virtual void WriteLog(std::string_view message) = 0;
};

}  // namespace qelto
