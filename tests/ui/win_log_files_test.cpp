#include "ui/win32/win_log_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "common/texts.h"
#include "common/win32/wide_text.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "ui/activity_log.h"

namespace qelto {
namespace {

using testing_support::FakeClock;
using testing_support::TempDir;

std::string ReadAll(const std::string& path) {
  std::ifstream in(std::filesystem::path(WideFromUtf8(path)), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void MakeFileOfSize(const std::string& path, std::int64_t size) {
  { std::ofstream(path, std::ios::binary) << "old"; }
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
}

// Another program's handle on the file.
struct OtherOpen {
  OtherOpen(const std::string& path, DWORD access, DWORD share)
      : handle(CreateFileW(WideFromUtf8(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~OtherOpen() {
    if (ok()) CloseHandle(handle);
  }
  bool ok() const { return handle != INVALID_HANDLE_VALUE; }
  HANDLE handle;
};

class RealLogFile : public testing::Test {
 protected:
  std::string Path() const { return dir.File("log.txt"); }
  void OpenAndStart() {
    log.Open();
    log.WriteLog("Application Started!");
  }
  TempDir dir;
  WinLogFiles files;
  FakeClock clock;
  ActivityLog log{files, clock, dir.File("log.txt")};
};

TEST_F(RealLogFile, MissingLogIsCreated) {
  EXPECT_EQ(files.FileSizeOf(Path()), -1);
  OpenAndStart();
  EXPECT_EQ(ReadAll(Path()), "2026-12-07 23:05:12 - Application Started!\r\n");
}

TEST_F(RealLogFile, LogOfExactlyTheLimitIsKeptAndLargerOnesAreEmptied) {
  MakeFileOfSize(Path(), kLogSizeLimit);
  OpenAndStart();
  log.Close();
  EXPECT_EQ(files.FileSizeOf(Path()), kLogSizeLimit + 44);
  for (const std::int64_t size : {kLogSizeLimit + 1, std::int64_t{1} << 32}) {
    MakeFileOfSize(Path(), size);
    EXPECT_EQ(files.FileSizeOf(Path()), size) << "sizes past 4 GiB are read whole";
    OpenAndStart();
    log.Close();
    EXPECT_EQ(ReadAll(Path()), "2026-12-07 23:05:12 - Application Started!\r\n") << size;
  }
}

TEST_F(RealLogFile, DirectoryInTheWayTurnsLoggingOff) {
  std::filesystem::create_directory(Path());
  EXPECT_GE(files.FileSizeOf(Path()), 0) << "a folder is an entry too";
  OpenAndStart();
  EXPECT_FALSE(log.IsOpen());
}

// Others may read the open log (Notepad, the shop's tools) but not write it; a log that another
// program holds against writing turns logging off.
TEST_F(RealLogFile, OthersMayReadButNotWriteTheOpenLog) {
  OpenAndStart();
  EXPECT_TRUE(OtherOpen(Path(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE).ok());
  EXPECT_FALSE(OtherOpen(Path(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE).ok());
  log.Close();

  const OtherOpen holder(Path(), GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(holder.ok());
  OpenAndStart();
  EXPECT_FALSE(log.IsOpen());
}

// The log is for the shop's Notepad: Persian in the ANSI code page, 1256 on a Persian Windows.
TEST_F(RealLogFile, TextIsWrittenInTheAnsiCodePage) {
  const std::string persian = "\u062E\u0637\u0627 \u067E\u0686\u0698\u06AF";  // "خطا پچژگ"
  OpenAndStart();
  log.WriteLog(persian);
  log.Close();
  const std::string stamp = "2026-12-07 23:05:12 - ";
  const std::string expected = AnsiFromWide(WideFromUtf8(persian));
  EXPECT_EQ(ReadAll(Path()), stamp + "Application Started!\r\n" + stamp + expected + "\r\n");
  if (GetACP() == 1256) {
    EXPECT_EQ(expected, "\xce\xd8\xc7 \x81\x8d\x8e\x90") << "Windows-1256 bytes";
  } else {
    ADD_FAILURE() << "the ANSI code page is " << GetACP()
                  << ", not 1256: run with LC_ALL=fa_IR.UTF-8 under Wine";
  }
}

// Whatever Windows' language, the Persian texts are those of code page 1256, as the recorder's
// own have always been; the rest of a line is in the ANSI code page. Run under a Persian locale,
// and again under an English one (code page 1252, see CMakeLists.txt).
TEST_F(RealLogFile, PersianIsWrittenInCodePage1256WhateverTheCodePage) {
  if (const char* expected = std::getenv("QELTO_EXPECTED_ACP")) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected))) << "the locale was not applied";
  }
  struct Row {
    std::string text;
    std::string bytes;
  };
  const std::vector<Row> rows = {
      {kDriverNotInstalledText,
       "\xcf\xd1\xc7\xed\xe6\xd1 \xcf\xd3\xca\x90\xc7\xe5 \xe4\xd5\xc8 \xe4\xd4\xcf\xe5 "
       "\xc7\xd3\xca"},
      {kDeviceAlertText + std::string(" COM3"),
       "\xe3\xd4\x98\xe1 \xcf\xd1 \xc7\xca\xd5\xc7\xe1 \xcf\xd3\xca\x90\xc7\xe5 "
       "\x98\xc7\xe1\xd1\xc2\xed\xcf\xed COM3"},
      // Windows' own words, with the Persian yeh that 1256 writes as the Arabic one.
      {"Line 1: modem unavailable at COM3 (\u0641\u0627\u06CC\u0644 \u067E\u06CC\u062F\u0627 "
       "\u0646\u0634\u062F.)",
       "Line 1: modem unavailable at COM3 (\xdd\xc7\xed\xe1 \x81\xed\xcf\xc7 \xe4\xd4\xcf.)"},
      {"\u2713 caf\u00e9", "? caf\xe9"},  // a check mark is in neither; the e with acute in both
  };
  OpenAndStart();
  for (const Row& row : rows) log.WriteLog(row.text);
  log.Close();
  const std::string stamp = "2026-12-07 23:05:12 - ";
  std::string expected = stamp + "Application Started!\r\n";
  for (const Row& row : rows) expected += stamp + row.bytes + "\r\n";
  EXPECT_EQ(ReadAll(Path()), expected) << "code page " << GetACP();
}

TEST_F(RealLogFile, LinesFromTwoThreadsArriveWhole) {
  constexpr int kLinesPerThread = 5000;
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
