#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "ui/status_snapshot.h"

namespace qelto {

// The support report's file, in the working folder beside the log.
inline constexpr const char* kSupportReportFileName = "support-report.txt";
// How many of the log's last lines the report carries.
inline constexpr std::size_t kReportLogLines = 200;

// What the platform knows of itself and its files, read by it for the report.
struct SupportFacts {
  std::string version;         // the recorder's version, e.g. "0.1.0"
  std::string build;           // how it was built: platform, compiler, date
  std::string system;          // the operating system and its version
  std::string workingFolder;   // where log.txt and the journal are
  std::string driverPath;      // the driver library that was loaded
  std::string driverConfPath;  // POS_CIDR.conf as found; empty when there is none
  std::string driverConf;      // its content, unmasked: the report masks it
  std::string logText;         // log.txt, whole or its end: the report keeps its last lines
};

// What became of a support report: where it was written, its text (for the clipboard), or why
// it could not be written.
struct ReportOutcome {
  bool written = false;
  std::string path;
  std::string text;
  std::string reason;  // when not written
};

// The report: plain UTF-8 text with CR LF line ends, every value the window shows, the settings
// without the password, POS_CIDR.conf with its secrets masked, and the log's last lines. Written
// by the shop's technician into a mail or a chat, so it must never carry a password or a secret.
std::string BuildSupportReport(const SupportFacts& facts, const StatusSnapshot& snapshot);

// POS_CIDR.conf with the value of every key that names a secret (secret, password, pass, pwd,
// token, key), in comments too, replaced by "****".
std::string MaskDriverConf(std::string_view conf);

// The last `count` lines of `text`, each ended as it was.
std::string_view LastLines(std::string_view text, std::size_t count);

}  // namespace qelto
