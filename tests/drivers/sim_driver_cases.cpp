// Our driver library loaded as the recorder loads it, driven through its control channel and
// through the qelto-cidr-sim tool (sim_driver_bench.h): the same cases and the same checks on
// Linux and on Windows.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "driver_observer.h"
#include "recorder_reading.h"
#include "sim_driver_bench.h"

namespace qelto::cidr::testing_support {
namespace {

TEST_F(SimDriverLibrary, DeliversCommandsAsEventsOnItsOwnThread) {
  const char16_t* before = static_cast<const char16_t*>(api.info());
  const std::string text_before = Narrow(before);
  EXPECT_EQ(VersionWithinFirst30(text_before), "2.1");
  EXPECT_EQ(ConnectedDeviceCount(text_before), 2);

  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  EXPECT_EQ(Bench().Converse("call 2 0912\nunplug\nplug\n", 3), "OK\nOK\nOK\n");

  // Each event is delivered before its reply is sent, so all have arrived by now.
  const std::vector<SeenEvent> events = observer.Events();
  ASSERT_EQ(events.size(), 4U);
  EXPECT_EQ(events[0].code, 0);
  EXPECT_EQ(events[0].text, u"SSimulator started: 2 of 2 devices connected");
  EXPECT_EQ(events[0].connected, 2);
  EXPECT_EQ(events[1].code, 2);
  EXPECT_EQ(events[1].text, u"C0912");
  EXPECT_EQ(events[2].text, u"SDevice 1 disconnected");
  EXPECT_EQ(events[2].connected, 1);
  EXPECT_EQ(events[3].text, u"SDevice 1 connected");
  EXPECT_EQ(events[3].connected, 2);
  for (const SeenEvent& event : events) {
    EXPECT_NE(event.thread, std::this_thread::get_id());
    EXPECT_EQ(event.thread, events[0].thread);
  }
  // The text handed out before is this thread's own: the callback's CIDR_Info calls on the
  // driver's thread, while device 1 was unplugged, did not overwrite it.
  EXPECT_EQ(Narrow(before), text_before);

  Withdraw();
  EXPECT_TRUE(Bench().ChannelGone());
  EXPECT_FALSE(Bench().Converse("call 1 1\n", 1).has_value());
  EXPECT_EQ(observer.calls_after_withdrawal, 0);
}

TEST_F(SimDriverLibrary, NoCallbackRunsOnceWithdrawalHasReturned) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  // Keeps the driver busy delivering calls until its channel is gone.
  std::thread caller([] {
    while (Bench().Converse("call 1 1\ncall 1 2\n", 2).has_value()) {
    }
  });
  EXPECT_TRUE(observer.WaitForEvents(50));
  Withdraw();
  caller.join();
  EXPECT_EQ(observer.calls_after_withdrawal, 0);
}

TEST_F(SimDriverLibrary, WithdrawingFromInsideTheCallbackStopsAtOnce) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  // The second line is not served: the driver stopped while handling the first, and closed.
  EXPECT_EQ(Bench().Converse("status withdraw-me\ncall 1 5\n", 2), "OK\n");
  EXPECT_EQ(observer.inner_withdraw_result, 0);
  EXPECT_TRUE(Bench().ChannelGone());
  EXPECT_EQ(observer.Events().size(), 2U);

  // Registering again from outside works, and finishes the thread that withdrew itself.
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(3));
  const std::vector<SeenEvent> events = observer.Events();
  EXPECT_EQ(events[1].text, u"Swithdraw-me");
  EXPECT_EQ(events[2].text, u"SSimulator started: 2 of 2 devices connected");
  EXPECT_NE(Bench().Converse("info\n", 1).value_or("").find("Line 2: Connected\nOK\n"),
            std::string::npos);
}

TEST_F(SimDriverLibrary, IdleClientsDoNotLockOutTheTool) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));
  // As many clients as the driver serves at once; one of them stops in the middle of a line.
  constexpr int kClients = 16;
  const std::string held = Bench().HoldIdleClients(kClients, "call 1 ");
  ASSERT_TRUE(held.empty()) << held;

  // The tool waits for a free place (it is more patient than the driver is with idle clients)
  // instead of being turned away.
  const ToolRun call = Bench().RunTool({"call", "3", "77"});
  ASSERT_EQ(call.exit_code, 0) << call.output;
  EXPECT_EQ(call.output, "OK\n");

  // Idle clients are closed unanswered, and a half line is not taken for a command.
  EXPECT_EQ(Bench().IdleClientsClosed(), kClients);
  const std::vector<SeenEvent> events = observer.Events();
  ASSERT_EQ(events.size(), 2U);
  EXPECT_EQ(events[1].text, u"C77");
  Withdraw();
}

TEST_F(SimDriverLibrary, ToolDrivesTheRunningDriver) {
  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(observer.WaitForEvents(1));

  struct Case {
    std::vector<std::string> arguments;
    int exit_code;
    std::string output;
    bool whole;  // the whole output, or only a part of it
  };
  const Case cases[] = {
      {{"call", "3", "77"}, 0, "OK\n", true},
      {{"unplug", "5"}, 1, "ERROR no device 5: the simulator has 2\n", true},
      {{"ring", "1"}, 2, "qelto-cidr-sim: unknown command", false},
      {{"info"}, 0, "\nVER 2.1\n", false},
      {{"info"}, 0, "Line 2: Connected\nOK\n", false},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.arguments[0]);
    const ToolRun run = Bench().RunTool(row.arguments);
    EXPECT_EQ(run.exit_code, row.exit_code) << run.output;
    if (row.whole) {
      EXPECT_EQ(run.output, row.output);
    } else {
      EXPECT_NE(run.output.find(row.output), std::string::npos) << run.output;
    }
  }
  const std::vector<SeenEvent> events = observer.Events();
  ASSERT_EQ(events.size(), 2U);
  EXPECT_EQ(events[1].code, 3);
  EXPECT_EQ(events[1].text, u"C77");

  Withdraw();
  const ToolRun nobody = Bench().RunTool({"info"});
  EXPECT_EQ(nobody.exit_code, 1);
  EXPECT_NE(nobody.output.find("no running caller-ID simulator at " + Bench().channel() +
                               ": is qelto-callerid running?"),
            std::string::npos)
      << nobody.output;
}

}  // namespace
}  // namespace qelto::cidr::testing_support
