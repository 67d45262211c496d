#include "drivers/modem/modem_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/raw_record.h"
#include "printable.h"

namespace qelto::cidr {
namespace {

using Kind = ModemLineKind;
using Lines = std::vector<std::string>;

struct LineCase {
  std::string text;
  ModemLine expected;
};

void PrintTo(const LineCase& row, std::ostream* out) {
  *out << testing_support::Printable(row.text);
}

class ParseLine : public testing::TestWithParam<LineCase> {};

TEST_P(ParseLine, Classifies) {
  EXPECT_EQ(ParseModemLine(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseLine,
    testing::Values(
        LineCase{"RING", {Kind::kRing, ""}}, LineCase{"ring", {Kind::kRing, ""}},
        LineCase{"RING 1", {Kind::kRing, ""}}, LineCase{"RING;5551234", {Kind::kRing, ""}},
        LineCase{"RINGING", {Kind::kOther, ""}}, LineCase{"RINGBACK", {Kind::kOther, ""}},
        // Noise stuck to either end does not hide a line.
        LineCase{std::string("\0\xffRING\x7f ", 7), {Kind::kRing, ""}},
        LineCase{"DATE = 0321", {Kind::kDate, "0321"}},
        LineCase{"TIME=1405", {Kind::kTime, "1405"}},
        LineCase{"NMBR = 5551234", {Kind::kNumber, "5551234"}},
        LineCase{"NMBR=5551234", {Kind::kNumber, "5551234"}},
        LineCase{"  nmbr\t=  09121234567 ", {Kind::kNumber, "09121234567"}},
        LineCase{"DDN_NMBR = 2125551234", {Kind::kNumber, "2125551234"}},
        LineCase{"NMBR = P", {Kind::kNumber, "P"}}, LineCase{"NMBR = O", {Kind::kNumber, "O"}},
        LineCase{"NMBR =", {Kind::kNumber, ""}},
        LineCase{"NAME = JOHN Q DOE", {Kind::kName, "JOHN Q DOE"}},
        LineCase{"NAME = A=B", {Kind::kName, "A=B"}},
        LineCase{"MESG = 060342", {Kind::kMessage, "060342"}}, LineCase{"OK", {Kind::kOk, ""}},
        LineCase{"ERROR", {Kind::kError, ""}}, LineCase{"AT+VCID=1", {Kind::kOther, ""}},
        LineCase{"ATZ", {Kind::kOther, ""}}, LineCase{"NO CARRIER", {Kind::kOther, ""}},
        LineCase{"NUMBER = 5551234", {Kind::kOther, ""}}, LineCase{"OKAY", {Kind::kOther, ""}},
        LineCase{"", {Kind::kOther, ""}}));

TEST(ParseModemLines, ReadsABlockOnOneLineAsItsLines) {
  using Parsed = std::vector<ModemLine>;
  const std::vector<std::pair<std::string, Parsed>> rows = {
      {"DATE=1210 TIME=1405 NMBR=09121110007",
       {{Kind::kDate, "1210"}, {Kind::kTime, "1405"}, {Kind::kNumber, "09121110007"}}},
      {" date = 1210  nmbr = 5551234 NAME = JOHN DOE\r",
       {{Kind::kDate, "1210"}, {Kind::kNumber, "5551234"}, {Kind::kName, "JOHN DOE"}}},
      {"DDN_NMBR=0912 NMBR=912", {{Kind::kNumber, "0912"}, {Kind::kNumber, "912"}}},
      // One line as before: a value may hold "=" and words that are no keys.
      {"NAME = A=B", {{Kind::kName, "A=B"}}},
      {"NAME = DATE PALM", {{Kind::kName, "DATE PALM"}}},
      {"NMBR = 5551234", {{Kind::kNumber, "5551234"}}},
      {"RING", {{Kind::kRing, ""}}},
      {"AT+VCID=1 NMBR=5", {{Kind::kOther, ""}}},
      {"", {{Kind::kOther, ""}}},
  };
  for (const auto& [text, lines] : rows) {
    EXPECT_EQ(ParseModemLines(text), lines) << testing_support::Printable(text);
  }
}

TEST(NumberDigits, WritesALeadingPlusAsDoubleZero) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"+989121110007", "00989121110007"},
      {" +98 (912) 111-0007", "00989121110007"},
      {"09121110007", "09121110007"},
      {"98+912", "98912"},  // only a leading one
      {"+", ""},
      {"P", ""},
      {"+" + std::string(kMaxNumberDigits - 2, '7'), "00" + std::string(kMaxNumberDigits - 2, '7')},
      {"+" + std::string(kMaxNumberDigits - 1, '7'), ""},
  };
  for (const auto& [value, digits] : rows) {
    EXPECT_EQ(NumberDigits(value), digits) << testing_support::Printable(value);
  }
}

TEST(CallerDigits, KeepsTheDigitsOnly) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"5551234", "5551234"},
      {"09121234567", "09121234567"},
      {"(212) 555-1234", "2125551234"},
      {"+98 21 1234", "98211234"},
      {"P", ""},
      {"O", ""},
      {"", ""},
      {"PRIVATE", ""},
      {std::string(kMaxNumberDigits, '7'), std::string(kMaxNumberDigits, '7')},
      {std::string(kMaxNumberDigits + 1, '7'), ""},
      {"\xd9\xa1\xd9\xa2", ""},  // Arabic-Indic digits are not the digits the recorder takes
  };
  for (const auto& [value, digits] : rows) {
    EXPECT_EQ(CallerDigits(value), digits) << testing_support::Printable(value);
  }
}

TEST(ModemLineReader, CutsAtAnyLineEndAndSkipsEmptyLines) {
  ModemLineReader reader;
  EXPECT_EQ(reader.Append("\r\nRI"), Lines{});
  EXPECT_EQ(reader.Append("NG\r\n\r\nDATE = 0321\rTIME = 1405\nNMBR"),
            (Lines{"RING", "DATE = 0321", "TIME = 1405"}));
  EXPECT_EQ(reader.Append(" = 5551234\r\n"), Lines{"NMBR = 5551234"});
  reader.Append("NAME = HALF");
  reader.Clear();
  EXPECT_EQ(reader.Append("\r\nRING\r\n"), Lines{"RING"});
}

TEST(ModemLineReader, DropsAnOverlongLineWholeAndGoesOn) {
  ModemLineReader reader;
  EXPECT_EQ(reader.Append(std::string(kMaxModemLine, 'x') + "\r\n"),
            Lines{std::string(kMaxModemLine, 'x')});
  // The overlong line ends in "RING": even so, none of it counts.
  EXPECT_EQ(reader.Append(std::string(kMaxModemLine, 'x')), Lines{});
  EXPECT_EQ(reader.Append("yRING"), Lines{});
  EXPECT_EQ(reader.Append(std::string(10 * kMaxModemLine, 'z')), Lines{});
  EXPECT_EQ(reader.Append("\r\nRING\r\n"), Lines{"RING"});
}

TEST(FormatRawRecord, KeepsEveryByteOnOneLine) {
  EXPECT_EQ(FormatRawRecord("2026-03-21 14:05:07.123", 2, RawDirection::kRead,
                            std::string("RING\r\n\0\xff\\ ok\t", 13)),
            "2026-03-21 14:05:07.123 line 2 < RING\\r\\n\\x00\\xFF\\\\ ok\\x09\n");
  EXPECT_EQ(FormatRawRecord("T", 1, RawDirection::kSent, "ATZ\r"), "T line 1 > ATZ\\r\n");
  EXPECT_EQ(FormatRawRecord("T", 1, RawDirection::kNote, "opened /dev/ttyACM0"),
            "T line 1 # opened /dev/ttyACM0\n");
}

}  // namespace
}  // namespace qelto::cidr
