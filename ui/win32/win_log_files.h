#pragma once

#include "ui/log_files.h"

namespace qelto {

// Log files on Windows. Lines arrive in UTF-8 and are written in the system's ANSI code page
// (1256 on a Persian Windows), so that Notepad and the shop's older tools read them; Persian text
// that code page lacks is written in 1256 all the same. A line that is not UTF-8 is written as it
// is. The file is opened for appending only, with others allowed to
// read it but not to write, and each line goes to the end of the file in one WriteFile.
class WinLogFiles : public LogFiles {
 public:
  std::int64_t FileSizeOf(const std::string& name) override;
  bool CreateEmpty(const std::string& name) override;
  std::unique_ptr<LogFile> OpenForAppend(const std::string& name) override;
};

}  // namespace qelto
