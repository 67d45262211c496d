#include "ui/posix/posix_log_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "ui/activity_log.h"

namespace qelto {
namespace {

using testing_support::FakeClock;
using testing_support::TempDir;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Sparse files, so a 4 GiB log costs nothing.
void MakeFileOfSize(const std::string& path, std::int64_t size) {
  { std::ofstream(path, std::ios::binary) << "old"; }
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
}

class RealLogFile : public testing::Test {
 protected:
  std::string Path() const { return dir.File("log.txt"); }
  void OpenAndStart() {
    log.Open();
    log.WriteLog("Application Started!");
  }
  TempDir dir;
  PosixLogFiles files;
  FakeClock clock;
  ActivityLog log{files, clock, dir.File("log.txt")};
};

TEST_F(RealLogFile, MissingLogIsCreatedForItsOwnerOnly) {
  EXPECT_EQ(files.FileSizeOf(Path()), -1);
  OpenAndStart();
  EXPECT_EQ(ReadAll(Path()), "2026-12-07 23:05:12 - Application Started!\r\n");
  struct stat info {};
  ASSERT_EQ(::stat(Path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600U);
}

TEST_F(RealLogFile, ALogDeletedWhileRunningIsEchoedToStandardError) {
  OpenAndStart();
  testing::internal::CaptureStderr();
  log.WriteLog("still here");
  std::filesystem::remove(Path());
  log.WriteLog("Error: calls are held in memory only");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "2026-12-07 23:05:12 - Error: calls are held in memory only\r\n");
}

TEST_F(RealLogFile, LogOfExactlyTheLimitIsKept) {
  MakeFileOfSize(Path(), kLogSizeLimit);
  OpenAndStart();
  EXPECT_EQ(files.FileSizeOf(Path()), kLogSizeLimit + 44);
}

TEST_F(RealLogFile, LogAboveTheLimitIsEmptied) {
  for (const std::int64_t size : {kLogSizeLimit + 1, std::int64_t{1} << 32}) {
    MakeFileOfSize(Path(), size);
    log.Open();
    log.WriteLog("Application Started!");
    log.Close();
    EXPECT_EQ(ReadAll(Path()), "2026-12-07 23:05:12 - Application Started!\r\n") << size;
  }
}

TEST_F(RealLogFile, DirectoryInTheWayTurnsLoggingOff) {
  std::filesystem::create_directory(Path());
  EXPECT_GT(files.FileSizeOf(Path()), 0);
  OpenAndStart();
  EXPECT_FALSE(log.IsOpen());
}

// A log that cannot be opened for writing turns logging off. Root opens files whatever their mode,
// so the log is also a read-only attribute of sysfs, which the kernel refuses every writer, root
// too (CI runs as root); the read-only file of the test's own binds where the mode does.
TEST_F(RealLogFile, UnwritableLogTurnsLoggingOff) {
  MakeFileOfSize(Path(), 3);
  chmod(Path().c_str(), 0444);
  std::vector<std::string> paths = {"/sys/kernel/uevent_seqnum"};
  ASSERT_TRUE(std::filesystem::exists(paths[0]));
  if (geteuid() != 0) paths.push_back(Path());
  for (const std::string& path : paths) {
    ActivityLog unwritable{files, clock, path};
    unwritable.Open();
    unwritable.WriteLog("Application Started!");
    EXPECT_FALSE(unwritable.IsOpen()) << path;
  }
}

TEST_F(RealLogFile, LinesFromTwoThreadsArriveWhole) {
  constexpr int kLinesPerThread = 20000;
  OpenAndStart();
  auto writer = [this](char tag) {
    for (int i = 0; i < kLinesPerThread; ++i) {
      log.WriteLog(std::string(1, tag) + std::to_string(i) +
                   std::string(static_cast<std::size_t>(i % 97), tag));
    }
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  log.Close();

  std::istringstream lines(ReadAll(Path()));
  std::string line;
  std::getline(lines, line);  // "Application Started!"
  std::map<char, int> next{{'a', 0}, {'b', 0}};
  const std::string stamp = "2026-12-07 23:05:12 - ";
  while (std::getline(lines, line)) {
    ASSERT_EQ(line.substr(0, stamp.size()), stamp);
    ASSERT_EQ(line.back(), '\r');
    const std::string msg = line.substr(stamp.size(), line.size() - stamp.size() - 1);
    const char tag = msg.at(0);
    const int i = next.at(tag)++;
    ASSERT_EQ(msg, std::string(1, tag) + std::to_string(i) +
                       std::string(static_cast<std::size_t>(i % 97), tag));
  }
  EXPECT_EQ(next['a'], kLinesPerThread);
  EXPECT_EQ(next['b'], kLinesPerThread);
}

}  // namespace
}  // namespace qelto
