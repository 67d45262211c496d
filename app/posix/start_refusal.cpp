#include "app/posix/start_refusal.h"

#include <fcntl.h>
#include <unistd.h>

#include "app/posix/system_clock.h"
#include "recording/call_journal.h"
#include "recording/posix/regular_file.h"
#include "ui/activity_log.h"

namespace qelto {

void TellStartRefusal(const std::string& line, const std::string& logPath, std::ostream& err) {
  err << "qelto-callerid: " << line << std::endl;
  const int fd = OpenRegularFile(logPath, O_WRONLY | O_APPEND | O_CREAT, 0600);
  if (fd < 0) return;
  const std::string logLine = FormatLogLine(SystemClock().Now(), line);
  (void)!::write(fd, logLine.data(), logLine.size());  // one write: never torn by another's line
  ::close(fd);
}

}  // namespace qelto
