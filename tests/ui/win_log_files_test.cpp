#include "ui/win32/win_log_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/texts.h"
#include "common/win32/wide_text.h"
#include "log_files_bench.h"

namespace qelto::testing_support {

std::unique_ptr<LogFiles> MakeLogFiles() {
  return std::make_unique<WinLogFiles>();
}

const int kLinesPerWriterThread = 5000;

namespace {

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
  const std::string stamp = kStamp;
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
  const std::string stamp = kStamp;
  std::string expected = stamp + "Application Started!\r\n";
  for (const Row& row : rows) expected += stamp + row.bytes + "\r\n";
  EXPECT_EQ(ReadAll(Path()), expected) << "code page " << GetACP();
}

}  // namespace
}  // namespace qelto::testing_support
