#include "ui/posix/support_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "recording/posix/regular_file.h"
#include "ui/activity_log.h"

namespace qelto {
namespace {

// Enough for the report's last lines of the log: 200 lines of at most 4 KB each.
constexpr off_t kLogTailBytes = 1024 * 1024;
// A POS_CIDR.conf is a few kilobytes; anything larger is not read whole.
constexpr off_t kConfBytes = 256 * 1024;
constexpr const char* kDriverConfName = "POS_CIDR.conf";
// Where our driver looks when there is none beside it.
constexpr const char* kSystemDriverConf = "/etc/qelto-callerid/POS_CIDR.conf";

// The last `limit` bytes of the regular file at `path`; nothing when it cannot be read.
bool ReadEnd(const std::string& path, off_t limit, std::string& out) {
  const int fd = OpenRegularFile(path, O_RDONLY);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = fstat(fd, &info) == 0;
  if (ok && info.st_size > limit) ok = lseek(fd, info.st_size - limit, SEEK_SET) >= 0;
  char buffer[16384];
  while (ok) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    out.append(buffer, static_cast<std::size_t>(got));
    if (static_cast<off_t>(out.size()) >= limit) break;
  }
  close(fd);
  return ok;
}

std::string CurrentFolder() {
  std::error_code ignored;
  return std::filesystem::current_path(ignored).string();
}

// The driver library mapped into this process, as the dynamic loader found it.
std::string LoadedDriverPath() {
  std::string maps;
  if (!ReadEnd("/proc/self/maps", kConfBytes * 4, maps)) return {};
  const std::size_t name = maps.find("/libPOS_CIDR.so");
  if (name == std::string::npos) return {};
  const std::size_t start = maps.rfind(' ', name) + 1;
  const std::size_t end = maps.find('\n', name);
  return maps.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string SystemText() {
  struct utsname names {};
  if (uname(&names) != 0) return "Linux";
  return std::string(names.sysname) + " " + names.release + " " + names.version + " " +
         names.machine;
}

}  // namespace

SupportFacts GatherSupportFacts(std::string version, std::string build) {
  SupportFacts facts;
  facts.version = std::move(version);
  facts.build = std::move(build);
  facts.system = SystemText();
  facts.workingFolder = CurrentFolder();
  facts.driverPath = LoadedDriverPath();
  std::vector<std::string> confs;
  if (!facts.driverPath.empty()) {
    confs.push_back(
        (std::filesystem::path(facts.driverPath).parent_path() / kDriverConfName).string());
  }
  confs.push_back(kSystemDriverConf);
  for (const std::string& conf : confs) {
    std::string content;
    if (ReadEnd(conf, kConfBytes, content)) {
      facts.driverConfPath = conf;
      facts.driverConf = std::move(content);
      break;
    }
  }
  ReadEnd(kLogFileName, kLogTailBytes, facts.logText);
  return facts;
}

ReportOutcome WriteSupportReport(const std::string& text) {
  ReportOutcome outcome;
  outcome.text = text;
  outcome.path = (std::filesystem::path(CurrentFolder()) / kSupportReportFileName).string();
  const int fd = OpenRegularFile(kSupportReportFileName, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) {
    outcome.reason = std::strerror(errno);
    return outcome;
  }
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t put = write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      outcome.reason = std::strerror(errno);
      break;
    }
    done += static_cast<std::size_t>(put);
  }
  if (close(fd) != 0 && outcome.reason.empty()) outcome.reason = std::strerror(errno);
  outcome.written = done == text.size() && outcome.reason.empty();
  return outcome;
}

}  // namespace qelto
