#include "drivers/info_text.h"

#include <gtest/gtest.h>

#include "recorder_reading.h"

namespace qelto::cidr {
namespace {

using testing_support::ConnectedDeviceCount;
using testing_support::SplitLines;
using testing_support::VersionWithinFirst30;

TEST(InfoText, DescribesEachDeviceByItsState) {
  for (int count = 1; count <= kMaxDevices; ++count) {
    SimulatedDevices devices(count);
    for (int unplugged = 1; unplugged <= count; unplugged += 2) {
      devices.SetConnected(unplugged, false);
    }
    const std::string text = BuildInfoText(devices);
    const std::vector<std::string> lines = SplitLines(text);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(4 + count));
    EXPECT_EQ(lines[2], "Ports " + std::to_string(count));
    for (int device = 1; device <= count; ++device) {
      const std::string& line = lines[3 + device];
      EXPECT_TRUE(line.ends_with(devices.IsConnected(device) ? ": Connected" : ": Disconnected"))
          << line;
    }
    EXPECT_EQ(ConnectedDeviceCount(text), devices.ConnectedCount()) << text;
    EXPECT_EQ(VersionWithinFirst30(text), kDriverVersion);
  }
}

TEST(SimulatedDevices, ClampsTheCountAndRefusesUnknownDevices) {
  EXPECT_EQ(SimulatedDevices(0).count(), 1);
  EXPECT_EQ(SimulatedDevices(kMaxDevices + 1).count(), kMaxDevices);

  SimulatedDevices devices(2);
  EXPECT_EQ(devices.ConnectedCount(), 2);
  EXPECT_FALSE(devices.SetConnected(0, false));
  EXPECT_FALSE(devices.SetConnected(3, false));
  EXPECT_FALSE(devices.IsConnected(3));
  EXPECT_EQ(devices.ConnectedCount(), 2);
  EXPECT_TRUE(devices.SetConnected(2, false));
  EXPECT_EQ(devices.ConnectedCount(), 1);
  EXPECT_TRUE(devices.SetConnected(2, false));
  EXPECT_EQ(devices.ConnectedCount(), 1);
}

}  // namespace
}  // namespace qelto::cidr
