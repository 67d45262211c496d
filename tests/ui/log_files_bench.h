#pragma once

// What the log tests shared by Linux and Windows (log_files_cases.cpp) need from a platform: its
// log files. posix_log_files_test.cpp and win_log_files_test.cpp make them and hold what only
// their platform has, with the same fixture.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "ui/activity_log.h"
#include "ui/log_files.h"

namespace qelto::testing_support {

// The platform's log files.
std::unique_ptr<LogFiles> MakeLogFiles();

// How many lines each of two threads writes at once: fewer under Wine, where a write costs more.
extern const int kLinesPerWriterThread;

inline constexpr char kStamp[] = "2026-12-07 23:05:12 - ";  // FakeClock's moment

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Sparse files, so a 4 GiB log costs nothing.
inline void MakeFileOfSize(const std::string& path, std::int64_t size) {
  { std::ofstream(FsPath(path), std::ios::binary) << "old"; }
  std::filesystem::resize_file(FsPath(path), static_cast<std::uintmax_t>(size));
}

class RealLogFile : public testing::Test {
 protected:
  std::string Path() const { return dir.File("log.txt"); }
  void OpenAndStart() {
    log.Open();
    log.WriteLog("Application Started!");
  }
  TempDir dir;
  std::unique_ptr<LogFiles> files = MakeLogFiles();
  FakeClock clock;
  ActivityLog log{*files, clock, dir.File("log.txt")};
};

}  // namespace qelto::testing_support
