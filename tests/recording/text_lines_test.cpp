#include "recording/text_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qelto {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

struct SplitCase {
  std::string text;
  Lines lines;
};

class SplitTextLinesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTextLinesTest, SplitsAtEveryKindOfBreak) {
  EXPECT_EQ(SplitTextLines(GetParam().text), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Breaks, SplitTextLinesTest,
    ::testing::Values(SplitCase{"", {}}, SplitCase{"a", {"a"}}, SplitCase{"a\r\nb", {"a", "b"}},
                      SplitCase{"a\nb", {"a", "b"}}, SplitCase{"a\rb", {"a", "b"}},
                      // A final break adds no empty line, whatever its kind.
                      SplitCase{"a\r\n", {"a"}}, SplitCase{"a\n", {"a"}}, SplitCase{"a\r", {"a"}},
                      // LF CR is two breaks, CR LF one.
                      SplitCase{"a\n\rb", {"a", "", "b"}}, SplitCase{"a\r\r\nb", {"a", "", "b"}},
                      SplitCase{"\r\n", {""}}, SplitCase{"\n\n", {"", ""}},
                      SplitCase{"a\r\n\r\nb\n", {"a", "", "b"}},
                      SplitCase{" a \tb ", {" a \tb "}}));

INSTANTIATE_TEST_SUITE_P(NulEndsTheText, SplitTextLinesTest,
                         ::testing::Values(SplitCase{"a\nb\0c\nd"s, {"a", "b"}},
                                           SplitCase{"\0a"s, {}}, SplitCase{"a\r\0\nb"s, {"a"}}));

}  // namespace
}  // namespace qelto
