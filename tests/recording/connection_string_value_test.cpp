#include "recording/connection_string_value.h"

#include <gtest/gtest.h>

#include <string>

namespace qelto {
namespace {

struct QuoteCase {
  std::string value;
  std::string written;
};

class ConnectionStringValueTest : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(ConnectionStringValueTest, WritesTheValueSoThatItReadsBackWhole) {
  EXPECT_EQ(ConnectionStringValue(GetParam().value), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(PlainValuesStayAsTheyAre, ConnectionStringValueTest,
                         ::testing::Values(QuoteCase{"", ""}, QuoteCase{"recorder", "recorder"},
                                           QuoteCase{".\\SQLEXPRESS", ".\\SQLEXPRESS"},
                                           QuoteCase{"(local)", "(local)"}, QuoteCase{"a=b", "a=b"},
                                           QuoteCase{"two words", "two words"},
                                           QuoteCase{"{x}", "{x}"}));

INSTANTIATE_TEST_SUITE_P(
    ReservedCharactersAreQuoted, ConnectionStringValueTest,
    ::testing::Values(
        QuoteCase{"pa;ss", "\"pa;ss\""},
        QuoteCase{"x;Integrated Security=SSPI", "\"x;Integrated Security=SSPI\""},
        QuoteCase{"O'B", "\"O'B\""}, QuoteCase{"'", "\"'\""},
        // A double quote inside: single quotes enclose it, no doubling needed.
        QuoteCase{"pa\"ss", "'pa\"ss'"}, QuoteCase{"\"a;b\"", "'\"a;b\"'"},
        // Both kinds of quote: double quotes enclose, each double quote inside is doubled.
        QuoteCase{"a'b\"c", "\"a'b\"\"c\""}, QuoteCase{"\"'", "\"\"\"'\""},
        // Blanks at either end would be trimmed by the provider.
        QuoteCase{" secret", "\" secret\""}, QuoteCase{"secret ", "\"secret \""},
        QuoteCase{" ", "\" \""}, QuoteCase{"\tsecret", "\"\tsecret\""}));

}  // namespace
}  // namespace qelto
