#include "drivers/sim_settings.h"

#include <gtest/gtest.h>

namespace qelto::sim {
namespace {

TEST(ControlSocketPath, PrefersTheExplicitPathThenTheRuntimeDirectory) {
  EXPECT_EQ(ControlSocketPath("/x/sim.sock", "/run/user/7", 7), "/x/sim.sock");
  EXPECT_EQ(ControlSocketPath(nullptr, "/run/user/7", 7), "/run/user/7/qelto-cidr-sim.sock");
  EXPECT_EQ(ControlSocketPath("", "/run/user/7", 7), "/run/user/7/qelto-cidr-sim.sock");
  EXPECT_EQ(ControlSocketPath(nullptr, nullptr, 1000), "/tmp/qelto-cidr-sim-1000.sock");
  EXPECT_EQ(ControlSocketPath("", "", 0), "/tmp/qelto-cidr-sim-0.sock");
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
}  // namespace qelto::sim
