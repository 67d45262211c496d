#include "drivers/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

#include "printable.h"

namespace qelto::cidr {
namespace {

struct Utf8Case {
  std::string utf8;
  std::optional<std::u16string> utf16;
};

void PrintTo(const Utf8Case& row, std::ostream* out) {
  *out << testing_support::Printable(row.utf8);
}

class Utf8ToUtf16Table : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16Table, ConvertsOrRejects) {
  EXPECT_EQ(Utf8ToUtf16(GetParam().utf8), GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8ToUtf16Table,
    testing::Values(Utf8Case{"", u""}, Utf8Case{"C0912", u"C0912"},
                    Utf8Case{"\xd8\xaa\xd9\x85\xd8\xa7\xd8\xb3", u"\u062a\u0645\u0627\u0633"},
                    Utf8Case{"\xef\xbc\x90", u"\uff10"},               // full-width zero
                    Utf8Case{"\xf0\x9f\x93\x9e", u"\U0001F4DE"},       // surrogate pair
                    Utf8Case{"\xf4\x8f\xbf\xbf", u"\U0010FFFF"},       // highest code point
                    Utf8Case{"\xc0\xb0", std::nullopt},                // overlong '0'
                    Utf8Case{"\xe0\x80\xb0", std::nullopt},            // overlong '0'
                    Utf8Case{"\xed\xa0\x80", std::nullopt},            // lone surrogate
                    Utf8Case{"\xf4\x90\x80\x80", std::nullopt},        // above U+10FFFF
                    Utf8Case{"\xd8", std::nullopt},                    // cut short
                    Utf8Case{"\xe0\xa0", std::nullopt},                // cut short
                    Utf8Case{"\x80", std::nullopt},                    // stray continuation
                    Utf8Case{"\xd8\x41", std::nullopt},                // broken continuation
                    Utf8Case{"\xf8\x88\x80\x80\x80", std::nullopt}));  // five-byte form

// Status texts: Windows' reasons in the user's language pass whole; what would break the line or
// is not text becomes "?", one for each byte or character.
struct PrintableCase {
  std::string utf8;
  std::u16string utf16;
};

void PrintTo(const PrintableCase& row, std::ostream* out) {
  *out << testing_support::Printable(row.utf8);
}

class PrintableUtf16Table : public testing::TestWithParam<PrintableCase> {};

TEST_P(PrintableUtf16Table, KeepsTextAndMarksTheRest) {
  EXPECT_EQ(PrintableUtf16(GetParam().utf8), GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PrintableUtf16Table,
    testing::Values(PrintableCase{"", u""},
                    PrintableCase{"unavailable at COM3", u"unavailable at COM3"},
                    // "The system cannot find the file specified." of a Persian Windows, in part
                    PrintableCase{
                        "(\xd9\x81\xd8\xa7\xdb\x8c\xd9\x84 \xd9\xbe\xdb\x8c\xd8\xaf\xd8\xa7 "
                        "\xd9\x86\xd8\xb4\xd8\xaf.)",
                        u"(\u0641\u0627\u06cc\u0644 \u067e\u06cc\u062f\u0627 \u0646\u0634\u062f.)"},
                    PrintableCase{"\xf0\x9f\x93\x9e ok", u"\U0001F4DE ok"},
                    PrintableCase{"a\r\nb\tc\x7f", u"a??b?c?"},
                    PrintableCase{"\xc2\x85\xc2\xa0", u"?\u00a0"},  // C1 next line, no-break space
                    PrintableCase{"port\xc3\xa9\xff\xd8", u"port\u00e9??"},
                    PrintableCase{"\xe0\x80\xb0x", u"???x"}));  // overlong: each byte

}  // namespace
}  // namespace qelto::cidr
