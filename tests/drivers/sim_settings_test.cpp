#include "drivers/sim/sim_settings.h"

#include <gtest/gtest.h>

namespace qelto::cidr {
namespace {

TEST(ControlSocketPath, PrefersTheExplicitPathThenTheRuntimeDirectory) {
  EXPECT_EQ(ControlSocketPath("/x/sim.sock", "/run/user/7", 7), "/x/sim.sock");
  EXPECT_EQ(ControlSocketPath(nullptr, "/run/user/7", 7), "/run/user/7/qelto-cidr-sim.sock");
  EXPECT_EQ(ControlSocketPath("", "/run/user/7", 7), "/run/user/7/qelto-cidr-sim.sock");
  EXPECT_EQ(ControlSocketPath(nullptr, nullptr, 1000), "/tmp/qelto-cidr-sim-1000.sock");
  EXPECT_EQ(ControlSocketPath("", "", 0), "/tmp/qelto-cidr-sim-0.sock");
}

TEST(ControlPipeName, IsTheUsersOwnInTheirSessionUnlessNamed) {
  struct Case {
    const char* variable;
    unsigned long session;
    const char* user;
    const char* pipe;
  };
  const Case cases[] = {
      {nullptr, 1, "S-1-5-21-7-1001", R"(\\.\pipe\qelto-cidr-sim-1-S-1-5-21-7-1001)"},
      {"", 2, "S-1-5-21-7-1001", R"(\\.\pipe\qelto-cidr-sim-2-S-1-5-21-7-1001)"},
      {"test-pipe", 1, "S-1-5-21-7-1001", R"(\\.\pipe\test-pipe)"},
      {R"(\\.\pipe\x)", 1, "S-1-5-21-7-1001", R"(\\.\pipe\x)"},
  };
  for (const Case& row : cases) {
    EXPECT_EQ(ControlPipeName(row.variable, row.session, row.user), row.pipe)
        << (row.variable != nullptr ? row.variable : "(unset)");
  }
}

TEST(ParseDeviceCount, AcceptsOneToEightOnly) {
  EXPECT_EQ(ParseDeviceCount("1"), 1);
  EXPECT_EQ(ParseDeviceCount("8"), 8);
  for (const char* bad : {"", "0", "9", "10", "-1", " 2", "2 ", "02", "x"}) {
    EXPECT_EQ(ParseDeviceCount(bad), std::nullopt) << '"' << bad << '"';
  }
  EXPECT_EQ(ParseDeviceCount(nullptr), std::nullopt);
}

}  // namespace
}  // namespace qelto::cidr
