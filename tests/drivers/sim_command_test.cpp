#include "drivers/sim/sim_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printable.h"

namespace qelto::cidr {
namespace {

struct ValidCase {
  std::string line;
  SimCommand expected;
};

void PrintTo(const ValidCase& row, std::ostream* out) {
  *out << testing_support::Printable(row.line);
}

class ParseValidCommand : public testing::TestWithParam<ValidCase> {};

TEST_P(ParseValidCommand, GivesTheCommand) {
  const ParsedCommand parsed = ParseSimCommand(GetParam().line);
  ASSERT_TRUE(std::holds_alternative<SimCommand>(parsed)) << std::get<CommandError>(parsed).reason;
  EXPECT_EQ(std::get<SimCommand>(parsed), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseValidCommand,
    testing::Values(
        ValidCase{"call 2 0912", {CommandKind::kCall, 2, 1, u"0912"}},
        ValidCase{"call 1", {CommandKind::kCall, 1, 1, u""}},
        ValidCase{"call 1 ", {CommandKind::kCall, 1, 1, u""}},
        ValidCase{"call 2147483647 5", {CommandKind::kCall, 2147483647, 1, u"5"}},
        ValidCase{"call 007 5", {CommandKind::kCall, 7, 1, u"5"}},
        ValidCase{"  call\t3   5", {CommandKind::kCall, 3, 1, u"  5"}},
        // The number is passed as given: only the one blank after LINE separates it.
        ValidCase{"call 1  0912", {CommandKind::kCall, 1, 1, u" 0912"}},
        ValidCase{"call 1 0912-345 x", {CommandKind::kCall, 1, 1, u"0912-345 x"}},
        // The number as given, its "+" too: the recorder reads it as from any driver.
        ValidCase{"call 1 +989121234567", {CommandKind::kCall, 1, 1, u"+989121234567"}},
        ValidCase{"call 1 \xdb\xb0\xdb\xb9", {CommandKind::kCall, 1, 1, u"\u06f0\u06f9"}},
        ValidCase{"call 1 " + std::string(kMaxNumberBytes, '9'),
                  {CommandKind::kCall, 1, 1, std::u16string(kMaxNumberBytes, u'9')}},
        ValidCase{"unplug", {CommandKind::kUnplug, 0, 1, u""}},
        ValidCase{"unplug 8", {CommandKind::kUnplug, 0, 8, u""}},
        ValidCase{"plug 3 ", {CommandKind::kPlug, 0, 3, u""}},
        ValidCase{"plug", {CommandKind::kPlug, 0, 1, u""}},
        ValidCase{"status Line 1 ringing", {CommandKind::kStatus, 0, 1, u"Line 1 ringing"}},
        ValidCase{"status", {CommandKind::kStatus, 0, 1, u""}},
        ValidCase{"status " + std::string(kMaxStatusBytes, 'x'),
                  {CommandKind::kStatus, 0, 1, std::u16string(kMaxStatusBytes, u'x')}},
        ValidCase{"info", {CommandKind::kInfo, 0, 1, u""}},
        ValidCase{"info  ", {CommandKind::kInfo, 0, 1, u""}}));

struct InvalidCase {
  std::string line;
  std::string reason;
};

void PrintTo(const InvalidCase& row, std::ostream* out) {
  *out << testing_support::Printable(row.line);
}

class ParseInvalidCommand : public testing::TestWithParam<InvalidCase> {};

TEST_P(ParseInvalidCommand, GivesTheReason) {
  const ParsedCommand parsed = ParseSimCommand(GetParam().line);
  ASSERT_TRUE(std::holds_alternative<CommandError>(parsed)) << GetParam().line;
  EXPECT_EQ(std::get<CommandError>(parsed).reason, GetParam().reason);
}

const std::string kBadLine = "LINE must be a number from 1 to 2147483647";
const std::string kBadDevice = "DEVICE must be a number from 1 to 8";

INSTANTIATE_TEST_SUITE_P(
    Table, ParseInvalidCommand,
    testing::Values(
        InvalidCase{"", "empty command"}, InvalidCase{" \t ", "empty command"},
        InvalidCase{"ring 1", "unknown command"}, InvalidCase{"CALL 1 5", "unknown command"},
        InvalidCase{"calls 1 5", "unknown command"},
        InvalidCase{"call", "usage: call LINE [NUMBER]"}, InvalidCase{"call 0 5", kBadLine},
        InvalidCase{"call -1 5", kBadLine}, InvalidCase{"call +1 5", kBadLine},
        InvalidCase{"call 2147483648 5", kBadLine},
        InvalidCase{"call 99999999999999999999999 5", kBadLine}, InvalidCase{"call 1x 5", kBadLine},
        InvalidCase{"call 1 " + std::string(kMaxNumberBytes + 1, '9'),
                    "NUMBER longer than 64 bytes"},
        // A NUL or line break would cut the text the recorder receives.
        InvalidCase{std::string("call 1 09\0"
                                "12",
                                12),
                    "NUMBER contains control characters"},
        InvalidCase{"call 1 09\t12", "NUMBER contains control characters"},
        InvalidCase{"call 1 \xff", "NUMBER is not valid UTF-8"},
        InvalidCase{"unplug 0", kBadDevice}, InvalidCase{"unplug 9", kBadDevice},
        InvalidCase{"plug x", kBadDevice}, InvalidCase{"plug 1 2", "too many arguments"},
        InvalidCase{"status " + std::string(kMaxStatusBytes + 1, 'x'),
                    "TEXT longer than 200 bytes"},
        InvalidCase{"status a\x1b[2J", "TEXT contains control characters"},
        InvalidCase{"info 1", "too many arguments"}));

}  // namespace
}  // namespace qelto::cidr
