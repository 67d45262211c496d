#include "device/driver_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qelto {
namespace {

std::string Lines(const std::vector<std::string>& lines, const char* end = "\r\n") {
  std::string text;
  for (const auto& line : lines) text += line + end;
  return text;
}

std::u16string Widen(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

struct InfoExample {
  const char* name;
  std::string text;
  bool utf16;
  std::string version;
  bool check;
  int count;
};

const std::string kTwoDevices = Lines(
    {"POS CID", "VER 2.1", "Ports 2", "Devices", "Line 1: Connected", "Line 2: Disconnected"});

std::vector<InfoExample> WorkedExamples() {
  return {
      {"two_devices", kTwoDevices, true, "+2.1", true, 1},
      {"four_devices", kTwoDevices + Lines({"Port 3: not connected", "connected device 7"}), true,
       "+2.1", true, 2},
      {"v2_0", Lines({"POS CID", "VER 2.0"}), true, "+2.0", true, 0},
      {"v2_0_1", Lines({"POS CID", "VER 2.0.1"}), true, "+2.0.1", true, 0},
      // Compared by number: 2 is 2.0.
      {"v2", Lines({"POS CID", "VER 2"}), true, "+2", true, 0},
      // Compared by number: 10.0 is above 2.0.
      {"v10_0", Lines({"POS CID", "VER 10.0"}), true, "+10.0", true, 0},
      {"v1_9", Lines({"POS CID", "VER 1.9"}), true, "+1.9", false, 0},
      {"ver_inside_word", Lines({"POS Driver Ver 2.0"}), true, "+Ver 2.0", true, 0},
      {"version_beyond_30", Lines({"POS Caller-ID Interface", "VER 2.5"}), true, "+", false, 0},
      {"no_final_break", "POS CID\r\nVER 2.0.1", true, "+", false, 0},
      {"lone_lf", Lines({"POS CID", "VER 2.2", "a", "b", "Dev connected"}, "\n"), true, "+", false,
       1},
      {"lower_case_pos", Lines({"pos CID", "VER 2.0"}), true, "", false, 0},
      {"pos_not_first", Lines({"CID POS", "VER 3.0"}), true, "", false, 0},
      {"ansi_v1_5", Lines({"POS CID", "VER 1.5"}), false, "-1.5", true, 0},
      {"ansi_devices", kTwoDevices, false, "-2.1", true, 1},
  };
}

class WorkedExample : public testing::TestWithParam<InfoExample> {};

TEST_P(WorkedExample, VersionCheckAndCount) {
  const InfoExample& e = GetParam();
  const std::u16string wide = Widen(e.text);
  const void* info = e.utf16 ? static_cast<const void*>(wide.c_str()) : e.text.c_str();
  EXPECT_EQ(DriverVersionOf(info), e.version);
  EXPECT_EQ(VersionNotBelow(DriverVersionOf(info), kRequiredDriverVersion), e.check);
  EXPECT_EQ(ConnectedDeviceCountOf(info), e.count);
}

INSTANTIATE_TEST_SUITE_P(InformationText, WorkedExample, testing::ValuesIn(WorkedExamples()),
                         [](const auto& example) { return std::string(example.param.name); });

TEST(DeviceLines, StateIsReadFromTheLast13CharactersOfLinesFromIndex4) {
  const auto count = [](const std::string& deviceLine) {
    const std::u16string text = Widen(Lines({"POS CID", "VER 2.1", "x", "y", deviceLine}));
    return ConnectedDeviceCountOf(text.c_str());
  };
  EXPECT_EQ(count("Line 1: Connected"), 1);
  EXPECT_EQ(count("Line 2: Disconnected"), 0);
  EXPECT_EQ(count("Port 3: not connected"), 1);
  EXPECT_EQ(count("USB1 CONNECTED"), 1);
  EXPECT_EQ(count("connected device 7"), 0);
  EXPECT_EQ(count("connected"), 1);
  const std::u16string headerOnly = Widen(Lines({"connected", "connected", "connected", "x"}));
  EXPECT_EQ(ConnectedDeviceCountOf(headerOnly.c_str()), 0);
}

TEST(DeviceLines, EmptyLinesBetweenBreaksCount) {
  // The empty third line shifts "Line 1" to index 4, where it is examined.
  const std::u16string text = Widen("POS CID\r\nVER 2.1\r\n\r\nDevices\r\nLine 1: Connected\r\n");
  EXPECT_EQ(ConnectedDeviceCountOf(text.c_str()), 1);
  const std::u16string loneCr = Widen("POS\rVER 2.1\rP\rD\rLine 1: Connected\rLine 2: connected");
  EXPECT_EQ(ConnectedDeviceCountOf(loneCr.c_str()), 2);
}

TEST(DeviceLines, NonAsciiCharactersAreNotLetters) {
  // U+0130 (capital I with dot) must not fold into an ASCII letter.
  std::u16string text =
      Widen(Lines({"POS CID", "VER 2.1", "x", "y"})) + u"Line 1: CONNECT\u0130D\r\n";
  EXPECT_EQ(ConnectedDeviceCountOf(text.c_str()), 0);
}

TEST(NullText, GivesNoVersionAndNoDevices) {
  EXPECT_EQ(DriverVersionOf(nullptr), "");
  EXPECT_FALSE(VersionNotBelow(DriverVersionOf(nullptr), kRequiredDriverVersion));
  EXPECT_EQ(ConnectedDeviceCountOf(nullptr), 0);
}

TEST(ExtractVersion, TakesTheTextBetweenVerAndCrLf) {
  EXPECT_EQ(ExtractVersion("POS\r\nVER 2.1\r\n"), "2.1");
  EXPECT_EQ(ExtractVersion("POS\r\nver 3\r\n"), "3");
  EXPECT_EQ(ExtractVersion("POS\r\nVER \r\n"), "");
  EXPECT_EQ(ExtractVersion("POS\r\nVER 2.1\n"), "");
  EXPECT_EQ(ExtractVersion("POS\r\nVERSION 2\r\n"), "");
  EXPECT_EQ(ExtractVersion("DRIVER 7\r\n"), "7");
}

TEST(VersionOrder, NumericForUtf16DottedNumbers) {
  EXPECT_TRUE(VersionNotBelow("+2", "+2.0"));
  EXPECT_TRUE(VersionNotBelow("+2.0.1", "+2.0"));
  EXPECT_TRUE(VersionNotBelow("+2.1", "+2.0.1"));
  EXPECT_TRUE(VersionNotBelow("+10.0", "+2.1"));
  EXPECT_TRUE(VersionNotBelow("+02.00", "+2.0"));
  EXPECT_TRUE(VersionNotBelow("+99999999999999999999.0", "+2.0"));
  EXPECT_FALSE(VersionNotBelow("+1.99", "+2.0"));
  EXPECT_FALSE(VersionNotBelow("+1", "+2.0"));
}

TEST(VersionOrder, ByteWiseForEverythingElse) {
  EXPECT_TRUE(VersionNotBelow("-1.5", "+2.0"));  // every 8-bit driver passes
  EXPECT_TRUE(VersionNotBelow("-", "+2.0"));
  EXPECT_TRUE(VersionNotBelow("+Ver 2.0", "+2.0"));
  EXPECT_FALSE(VersionNotBelow("+", "+2.0"));
  EXPECT_FALSE(VersionNotBelow("", "+2.0"));
  EXPECT_FALSE(VersionNotBelow("+1.9beta", "+2.0"));
  EXPECT_TRUE(VersionNotBelow("+2.0beta", "+2.0"));
  EXPECT_FALSE(VersionNotBelow("+2..0", "+2.0"));  // not a dotted number: "+2." < "+2.0"
  EXPECT_FALSE(VersionNotBelow("+10.0b", "+2.0"));
}

}  // namespace
}  // namespace qelto
