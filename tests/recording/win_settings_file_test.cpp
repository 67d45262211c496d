#include "recording/win32/settings_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

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

// Older editors save in the ANSI code page, newer ones in UTF-8; the recorder reads either.
TEST(WinSettingsFile, AnsiTextIsReadAsTheCodePageSaysAndUtf8AsItIs) {
  TempDir dir;
  SettingsFile settings(dir.path().string());
  const std::string branch = "\u0634\u0639\u0628\u0647";  // "شعبه"
  std::string content, error;
  Write(settings.Path(), "any\n.\nShop\n0\nu\n\n\n\n\n" + branch + "\n");
  ASSERT_TRUE(settings.Read(content, error)) << error;
  EXPECT_EQ(content, "any\n.\nShop\n0\nu\n\n\n\n\n" + branch + "\n");

  const std::string ansi = AnsiFromWide(WideFromUtf8(branch));
  Write(settings.Path(), "any\n.\nShop\n0\nu\n\n\n\n\n" + ansi + "\n");
  ASSERT_TRUE(settings.Read(content, error)) << error;
  EXPECT_EQ(content, "any\n.\nShop\n0\nu\n\n\n\n\n" + Utf8FromWide(WideFromAnsi(ansi)) + "\n");
  if (GetACP() == 1256) {
    EXPECT_EQ(Utf8FromWide(WideFromAnsi(ansi)), branch);
  }
}

}  // namespace
}  // namespace qelto
