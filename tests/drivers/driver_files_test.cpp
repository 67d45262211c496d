// The driver's own files, its configuration and the raw data file, on a real file system: only a
// regular file is read or written, and nothing at their names can make the driver wait.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "drivers/driver_setup.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>

#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"
#include "drivers/win32/raw_log_file.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "drivers/posix/raw_log_file.h"
#endif

namespace qelto::cidr {
namespace {

using testing_support::TempDir;

// What a row puts at the file's name, and what stays there until the row is done (the other end
// of a pipe, say).
struct Placed {
  std::string path;
  std::function<void()> undo = [] {};
};

struct FileCase {
  const char* name;
  std::function<Placed(const TempDir&)> place;
  const char* kind;  // what the problem must name
};

void PrintTo(const FileCase& row, std::ostream* out) {
  *out << row.name;
}

Placed Folder(const TempDir& dir) {
  const std::string path = dir.File("folder");
  std::filesystem::create_directory(path);
  return {path};
}

#ifdef _WIN32
// A named pipe with a server that never reads: writing into it would wait for ever.
Placed Pipe(const TempDir&) {
  const std::wstring name =
      L"\\\\.\\pipe\\qelto-driver-files-" + std::to_wstring(GetCurrentProcessId());
  // One instance for each open of the row, and for each look at its attributes, which opens it
  // too.
  auto servers = std::make_shared<std::vector<UniqueHandle>>();
  for (int i = 0; i < 4; ++i) {
    servers->emplace_back(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                           PIPE_TYPE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 0,
                                           0, 0, nullptr));
  }
  return {Utf8FromWide(name), [servers] { servers->clear(); }};
}

Placed Nul(const TempDir&) {
  return {"NUL"};
}

const FileCase kCases[] = {
    {"Folder", Folder, "a folder"},
    {"NamedPipe", Pipe, "a pipe"},
    {"DeviceName", Nul, "a device"},
};
#else
// A FIFO without a peer: an open that waits for one waits for ever. Should the open under test
// wait all the same, a peer comes by, opening the other end until the row is done, so that the
// row fails instead of hanging.
Placed Fifo(const TempDir& dir) {
  const std::string path = dir.File("fifo");
  if (::mkfifo(path.c_str(), 0600) != 0) return {path};
  auto done = std::make_shared<std::atomic<bool>>(false);
  auto peer = std::make_shared<std::thread>([path, done] {
    while (!*done) {
      for (const int flags : {O_RDONLY | O_NONBLOCK, O_WRONLY | O_NONBLOCK}) {
        const int fd = ::open(path.c_str(), flags);
        if (fd >= 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
          ::close(fd);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  return {path, [done, peer] {
            *done = true;
            peer->join();
          }};
}

Placed Symlink(const TempDir& dir) {
  const std::string target = dir.File("elsewhere");
  std::ofstream(target) << "# another file\n";
  const std::string path = dir.File("link");
  std::filesystem::create_symlink(target, path);
  return {path};
}

const FileCase kCases[] = {
    {"Fifo", Fifo, "a FIFO"},
    {"Folder", Folder, "a folder"},
    {"SymbolicLink", Symlink, "a symbolic link"},
};
#endif

class NotAFile : public testing::TestWithParam<FileCase> {};

TEST_P(NotAFile, IsNeitherReadAsTheConfigurationNorWrittenAsTheRawDataFile) {
  const TempDir dir;
  const Placed placed = GetParam().place(dir);
  const std::string expected = std::string("it is ") + GetParam().kind + ", not a regular file";

  // It is there, so the driver uses it and says why it configures nothing.
  const ConfigFileText config = ReadConfigFile(placed.path);
  EXPECT_TRUE(config.exists);
  EXPECT_EQ(config.problem, expected);
  EXPECT_EQ(config.text, "");

  std::string problem;
  EXPECT_EQ(RawLogFile::Open(placed.path, problem), nullptr);
  EXPECT_EQ(problem, placed.path + ": " + expected);
  placed.undo();
}

INSTANTIATE_TEST_SUITE_P(Table, NotAFile, testing::ValuesIn(kCases));

TEST(DriverFiles, ARegularFileIsReadAndWritten) {
  const TempDir dir;
  const std::string path = dir.File("POS_CIDR.conf");
  EXPECT_FALSE(ReadConfigFile(path).exists);
  std::ofstream(path, std::ios::binary) << "[device]\nkind=sim\nline=1\n";
  const ConfigFileText config = ReadConfigFile(path);
  EXPECT_TRUE(config.exists);
  EXPECT_EQ(config.problem, "");
  EXPECT_EQ(config.text, "[device]\nkind=sim\nline=1\n");

  std::string problem;
  const std::string raw = dir.File("raw.txt");
  std::unique_ptr<RawLogFile> log = RawLogFile::Open(raw, problem);
  ASSERT_NE(log, nullptr) << problem;
  log->Write(1, RawDirection::kRead, "RING");
  log.reset();
  EXPECT_NE(ReadConfigFile(raw).text.find("RING"), std::string::npos);
}

}  // namespace
}  // namespace qelto::cidr
