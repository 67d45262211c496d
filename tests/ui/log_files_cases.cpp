// The activity log in a real file through the platform's log files (log_files_bench.h): the same
// cases and the same checks on Linux and on Windows.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "log_files_bench.h"

namespace qelto::testing_support {
namespace {

TEST_F(RealLogFile, MissingLogIsCreated) {
  EXPECT_EQ(files->FileSizeOf(Path()), -1);
  OpenAndStart();
  EXPECT_EQ(ReadAll(Path()), std::string(kStamp) + "Application Started!\r\n");
}

TEST_F(RealLogFile, LogOfExactlyTheLimitIsKeptAndLargerOnesAreEmptied) {
  struct Case {
    std::int64_t size;
    bool kept;
  };
  const Case cases[] = {
      {kLogSizeLimit, true}, {kLogSizeLimit + 1, false}, {std::int64_t{1} << 32, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    MakeFileOfSize(Path(), c.size);
    EXPECT_EQ(files->FileSizeOf(Path()), c.size) << "sizes past 4 GiB are read whole";
    OpenAndStart();
    log.Close();
    if (c.kept) {
      EXPECT_EQ(files->FileSizeOf(Path()), c.size + 44);
    } else {
      EXPECT_EQ(ReadAll(Path()), std::string(kStamp) + "Application Started!\r\n");
    }
  }
}

TEST_F(RealLogFile, DirectoryInTheWayTurnsLoggingOff) {
  std::filesystem::create_directory(FsPath(Path()));
  EXPECT_GE(files->FileSizeOf(Path()), 0) << "a folder is an entry too";
  OpenAndStart();
  EXPECT_FALSE(log.IsOpen());
}

TEST_F(RealLogFile, LinesFromTwoThreadsArriveWhole) {
  OpenAndStart();
  auto writer = [this](char tag) {
    for (int i = 0; i < kLinesPerWriterThread; ++i) {
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
  const std::string stamp = kStamp;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line.substr(0, stamp.size()), stamp);
    ASSERT_EQ(line.back(), '\r');
    const std::string msg = line.substr(stamp.size(), line.size() - stamp.size() - 1);
    const char tag = msg.at(0);
    const int i = next.at(tag)++;
    ASSERT_EQ(msg, std::string(1, tag) + std::to_string(i) +
                       std::string(static_cast<std::size_t>(i % 97), tag));
  }
  EXPECT_EQ(next['a'], kLinesPerWriterThread);
  EXPECT_EQ(next['b'], kLinesPerWriterThread);
}

}  // namespace
}  // namespace qelto::testing_support
