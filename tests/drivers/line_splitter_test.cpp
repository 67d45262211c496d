#include "drivers/control/line_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qelto::cidr {
namespace {

std::vector<std::string> Drain(LineSplitter& splitter) {
  std::vector<std::string> lines;
  while (std::optional<std::string> line = splitter.NextLine()) lines.push_back(*line);
  return lines;
}

TEST(LineSplitter, JoinsPiecesAndCutsAtLineFeeds) {
  LineSplitter splitter(16);
  ASSERT_TRUE(splitter.Append("call 2 09"));
  EXPECT_TRUE(Drain(splitter).empty());
  ASSERT_TRUE(splitter.Append("12\r\nunplug\n\ninf"));
  EXPECT_EQ(Drain(splitter), (std::vector<std::string>{"call 2 0912", "unplug", ""}));
  EXPECT_EQ(splitter.TakeRemainder(), "inf");
  EXPECT_EQ(splitter.TakeRemainder(), std::nullopt);
}

TEST(LineSplitter, KeepsACarriageReturnThatDoesNotEndTheLine) {
  LineSplitter splitter(16);
  ASSERT_TRUE(splitter.Append("a\rb\r\r\n"));
  EXPECT_EQ(Drain(splitter), (std::vector<std::string>{"a\rb\r"}));
}

TEST(LineSplitter, RefusesLinesAboveTheLimitWhetherEndedOrNot) {
  LineSplitter exact(4);
  EXPECT_TRUE(exact.Append("1234\n1234"));

  LineSplitter ended(4);
  EXPECT_FALSE(ended.Append("12345\n"));

  LineSplitter growing(4);
  ASSERT_TRUE(growing.Append("123"));
  EXPECT_FALSE(growing.Append("45"));
}

}  // namespace
}  // namespace qelto::cidr
