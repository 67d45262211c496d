#include "recording/win32/settings_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "common/win32/wide_text.h"
#include "recording/server_config.h"
#include "support/temp_dir.h"

namespace qelto {
namespace {

using testing_support::TempDir;

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(std::filesystem::path(WideFromUtf8(path)), std::ios::binary) << bytes;
}

TEST(WinSettingsFile, LiesBesideTheExecutableUnderADoubledBackslash) {
  TempDir dir;
  SettingsFile settings(dir.path().string());
  EXPECT_EQ(settings.Path(), dir.path().string() + "\\\\Server_Config.dll");
  Write(dir.File("Server_Config.dll"), "any\r\n(local)\r\nShop\r\n0\r\nrecorder\r\n");
  std::string content, error;
  ASSERT_TRUE(settings.Read(content, error)) << error;
  EXPECT_EQ(content, "any\r\n(local)\r\nShop\r\n0\r\nrecorder\r\n");
}

TEST(WinSettingsFile, MissingFileGivesWindowsReasonForTheLog) {
  TempDir dir;
  SettingsFile settings(dir.path().string());
  std::string content, error;
  EXPECT_FALSE(settings.Read(content, error));
  // Windows' own words, as the log shows them after "Cannot open file ...".
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(error.find("system error"), std::string::npos) << error;
}

std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string bytes;
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

// Every way a shop's editor saves the file. A mark decides; without one, ANSI unless the bytes
// are UTF-8 beyond ASCII. "شعبه" (branch) in Windows-1256 is not UTF-8; Notepad's "Unicode" is
// UTF-16 with a mark.
TEST(WinSettingsFile, TheEncodingIsTakenFromTheMarkElseFromTheBytes) {
  const std::string branch = "\u0634\u0639\u0628\u0647";  // "شعبه"
  const std::string ansiBranch = "\xD4\xDA\xC8\xE5";      // the same in Windows-1256
  const std::string ansiRead = Utf8FromWide(WideFromAnsi(ansiBranch));
  struct Row {
    const char* what;
    std::string bytes;
    std::string text;
  };
  const Row rows[] = {
      {"ASCII", "a\r\n(local)\r\n", "a\r\n(local)\r\n"},
      {"UTF-8 without a mark", "a\n" + branch + "\n", "a\n" + branch + "\n"},
      {"UTF-8 with a mark", std::string("\xEF\xBB\xBF") + "a\n" + branch, "a\n" + branch},
      {"UTF-16 LE with a mark", "\xFF\xFE" + Utf16(u"a\n\u0634\u0639\u0628\u0647", false),
       "a\n" + branch},
      {"UTF-16 BE with a mark, odd last byte",
       "\xFE\xFF" + Utf16(u"a\n\u0634\u0639\u0628\u0647", true) + '\0', "a\n" + branch},
      {"ANSI", "a\n" + ansiBranch + "\n", "a\n" + ansiRead + "\n"},
      {"ANSI that is no UTF-8 further on", "a\n" + branch + ansiBranch,
       Utf8FromWide(WideFromAnsi("a\n" + branch + ansiBranch))},
  };
  TempDir dir;
  SettingsFile settings(dir.path().string());
  for (const Row& row : rows) {
    Write(settings.Path(), row.bytes);
    std::string content, error;
    ASSERT_TRUE(settings.Read(content, error)) << row.what << ": " << error;
    EXPECT_EQ(content, row.text) << row.what;
  }
  // The rows above read the ANSI bytes in this machine's code page; that they are "شعبه" in the
  // Persian one, as a shop's Windows writes it, holds whatever the code page here.
  const std::wstring wideBranch = WideFromUtf8(branch);
  std::string persian(16, '\0');
  const int length =
      WideCharToMultiByte(1256, 0, wideBranch.data(), static_cast<int>(wideBranch.size()),
                          persian.data(), static_cast<int>(persian.size()), nullptr, nullptr);
  ASSERT_GT(length, 0) << "no code page 1256 here: " << GetLastError();
  persian.resize(static_cast<std::size_t>(length));
  EXPECT_EQ(persian, ansiBranch) << "not the bytes Windows-1256 writes for the branch";
  if (GetACP() == 1256) {
    EXPECT_EQ(ansiRead, branch);
  }
}

}  // namespace
}  // namespace qelto
