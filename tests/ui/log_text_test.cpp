#include "ui/log_text.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/activity_log.h"

namespace qelto {
namespace {

struct EscapeCase {
  const char* name;
  std::string text;
  std::string logged;
};

class EscapedLogTextTable : public testing::TestWithParam<EscapeCase> {};

TEST_P(EscapedLogTextTable, KeepsPrintableUtf8AndEscapesEverythingElse) {
  EXPECT_EQ(EscapedLogText(GetParam().text, kMaxLogLineBytes), GetParam().logged);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EscapedLogTextTable,
    testing::Values(
        EscapeCase{"Ascii", "Error: database is locked", "Error: database is locked"},
        EscapeCase{"Persian", "خطا در ارتباط با بانک اطلاعاتي", "خطا در ارتباط با بانک اطلاعاتي"},
        // The zero-width non-joiner (U+200C) is part of ordinary Persian spelling.
        EscapeCase{"PersianWithZwnj", "می\u200Cخواهم", "می\u200Cخواهم"},
        EscapeCase{"FourByteCharacter", "\xF0\x9F\x93\x9E 0912", "\xF0\x9F\x93\x9E 0912"},
        EscapeCase{"LineBreaks", "one\r\ntwo\n", "one\\x0D\\x0Atwo\\x0A"},
        EscapeCase{"TabNulEscDel", std::string("a\tb\0c\x1B[2J\x7F", 10),
                   "a\\x09b\\x00c\\x1B[2J\\x7F"},
        EscapeCase{"C1Control", "x\xC2\x85y\xC2\xA0z", "x\\xC2\\x85y\xC2\xA0z"},
        EscapeCase{"Latin1Byte", "caf\xE9!", "caf\\xE9!"},
        EscapeCase{"LoneContinuation", "\x80\xBF", "\\x80\\xBF"},
        EscapeCase{"OverlongSlash", "\xC0\xAF", "\\xC0\\xAF"},
        EscapeCase{"OverlongThreeBytes", "\xE0\x80\xAF", "\\xE0\\x80\\xAF"},
        EscapeCase{"Surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
        EscapeCase{"AboveUnicode", "\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
        // A character cut by the end of a damaged file: its lead byte alone is escaped.
        EscapeCase{"TruncatedPersian", "ok \xD8", "ok \\xD8"},
        EscapeCase{"TruncatedBeforeAscii",
                   "\xE2\x82"
                   "A",
                   "\\xE2\\x82A"},
        EscapeCase{"Backslash", "C:\\logs\\x41", "C:\\logs\\x41"}, EscapeCase{"Empty", "", ""}),
    [](const testing::TestParamInfo<EscapeCase>& param) { return param.param.name; });

struct CutCase {
  const char* name;
  std::string text;
  std::size_t maxBytes;
  std::string logged;
};

class EscapedLogTextCut : public testing::TestWithParam<CutCase> {};

TEST_P(EscapedLogTextCut, CutsAfterAWholePieceAndMarksTheCut) {
  const std::string logged = EscapedLogText(GetParam().text, GetParam().maxBytes);
  EXPECT_EQ(logged, GetParam().logged);
  EXPECT_LE(logged.size(), GetParam().maxBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, EscapedLogTextCut,
    testing::Values(CutCase{"FitsExactly", "abcdefgh", 8, "abcdefgh"},
                    CutCase{"OneByteOver", "abcdefghi", 8, "abcde..."},
                    CutCase{"NeverHalfAnEscape", "ab\n\n\n", 9, "ab\\x0A..."},
                    CutCase{"NeverHalfACharacter",
                            "اب"
                            "پ"
                            "ت"
                            "ث",
                            8, "اب..."},
                    CutCase{"EscapesCountTowardTheBound", "\x01\x02\x03", 12, "\\x01\\x02\\x03"},
                    CutCase{"EscapesOverTheBound", "\x01\x02\x03x", 12, "\\x01\\x02..."}),
    [](const testing::TestParamInfo<CutCase>& param) { return param.param.name; });

TEST(FormatLogLine, LineStaysWithinFourKilobytesWhateverTheMessage) {
  const LocalDateTime moment{2026, 12, 7, 23, 5, 12};
  const std::string stamp = "2026-12-07 23:05:12 - ";
  const std::string longest(kMaxLogLineBytes - stamp.size() - 2, 'x');
  EXPECT_EQ(FormatLogLine(moment, longest), stamp + longest + "\r\n");

  const std::string line = FormatLogLine(moment, std::string(1'000'000, '\n'));
  EXPECT_LE(line.size(), kMaxLogLineBytes);
  EXPECT_EQ(line.substr(0, stamp.size() + 8), stamp + "\\x0A\\x0A");
  EXPECT_EQ(line.substr(line.size() - 5), "...\r\n");
  EXPECT_EQ(line.find('\n'), line.size() - 1);
}

}  // namespace
}  // namespace qelto
