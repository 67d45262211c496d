#pragma once

// What the simulated driver's library tests shared by Linux and Windows (sim_driver_cases.cpp)
// need from a platform: our driver library, loaded once per process as the recorder loads it and
// set for two simulated devices (its entry points in `api`), clients of its control channel (a
// Unix socket on Linux, a named pipe on Windows) and the qelto-cidr-sim tool.
// sim_driver_library_test.cpp and win_sim_driver_library_test.cpp make the bench and hold the
// cases only their platform has.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver_observer.h"

namespace qelto::cidr::testing_support {

struct ToolRun {
  int exit_code = -1;
  std::string output;  // standard output and standard error together, CR LF made LF
};

class SimDriverBench {
 public:
  virtual ~SimDriverBench() = default;
  // Empty when the library is loaded (its entry points in `api`); otherwise why not.
  virtual const std::string& problem() const = 0;
  // The control channel's name, as the driver's and the tool's texts give it.
  virtual const std::string& channel() const = 0;
  // Sends `lines` on one connection and returns all the driver answered until it closed the
  // connection or gave `replies` answers (lines beginning with OK or ERROR); nullopt when nobody
  // serves the channel.
  virtual std::optional<std::string> Converse(const std::string& lines, int replies) = 0;
  // True when nobody serves the channel. On Windows its pipe goes with the last instance, which
  // the driver's thread closes on its way out: waited for, a bounded while.
  virtual bool ChannelGone() = 0;
  // The tool run to its end with `arguments`.
  virtual ToolRun RunTool(const std::vector<std::string>& arguments) = 0;
  // Connects `count` clients that send nothing, the last of them `partial`, a part of a line;
  // empty, or why not.
  virtual std::string HoldIdleClients(int count, std::string_view partial) = 0;
  // How many of the held clients the driver closed unanswered (the end of their stream, not the
  // patience running out); lets them all go.
  virtual int IdleClientsClosed() = 0;
};

// The platform's bench, made (and the library loaded) at the first call.
SimDriverBench& Bench();

class SimDriverLibrary : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Bench().problem().empty()) << Bench().problem();
    ASSERT_NE(api.info, nullptr);
    ASSERT_NE(api.register_event, nullptr);
    observer.Reset();
  }

  void TearDown() override {
    if (api.register_event != nullptr) api.register_event(nullptr, 0);
  }

  static std::int32_t Register() { return api.register_event(OnEvent, kRegisterEventValue); }

  // Withdraws and marks the moment at which the driver must have fallen silent.
  static void Withdraw() {
    EXPECT_EQ(api.register_event(nullptr, 0), 0);
    observer.withdrawn = true;
  }
};

}  // namespace qelto::cidr::testing_support
