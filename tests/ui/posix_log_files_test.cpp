#include "ui/posix/posix_log_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "log_files_bench.h"

namespace qelto::testing_support {

std::unique_ptr<LogFiles> MakeLogFiles() {
  return std::make_unique<PosixLogFiles>();
}

const int kLinesPerWriterThread = 20000;

namespace {

TEST_F(RealLogFile, MissingLogIsCreatedForItsOwnerOnly) {
  OpenAndStart();
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
            std::string(kStamp) + "Error: calls are held in memory only\r\n");
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
    ActivityLog unwritable{*files, clock, path};
    unwritable.Open();
    unwritable.WriteLog("Application Started!");
    EXPECT_FALSE(unwritable.IsOpen()) << path;
  }
}

}  // namespace
}  // namespace qelto::testing_support
