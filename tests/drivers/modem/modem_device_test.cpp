#include "drivers/modem/modem_device.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;
using TimePoint = ModemDevice::TimePoint;
using Events = std::vector<DriverEvent>;

const TimePoint kStart{1h};
const std::u16string kPort = u"/dev/serial/by-id/usb-Modem-if00";

ModemSettings Settings() {
  ModemSettings settings;
  settings.port = "/dev/serial/by-id/usb-Modem-if00";
  return settings;
}

DriverEvent Status(const std::u16string& text) {
  return DriverEvent{0, u"SLine 3: modem " + text};
}

DriverEvent Call(const std::u16string& digits) {
  return DriverEvent{3, u"C" + digits};
}

// Opens the device and answers the default dialogue with `answers`.
DeviceStep Initialise(ModemDevice& device, const std::string& answers = "OK\r\nOK\r\n") {
  const DeviceStep opened = device.OnOpened(kStart);
  EXPECT_EQ(opened.send, "ATZ\r");
  DeviceStep last;
  std::size_t start = 0;
  // One answer per line, as the modem sends them after each command.
  for (std::size_t end = answers.find('\n'); end != std::string::npos;
       end = answers.find('\n', start)) {
    last = device.OnBytes(answers.substr(start, end + 1 - start), kStart);
    start = end + 1;
  }
  return last;
}

TEST(ModemDevice, IsConnectedOnceCallerIdIsOn) {
  ModemDevice device(3, Settings());
  EXPECT_FALSE(device.connected());
  const DeviceStep opened = device.OnOpened(kStart);
  EXPECT_EQ(opened.send, "ATZ\r");
  EXPECT_TRUE(opened.events.empty());
  // Echo and answer in pieces, as a port delivers them.
  EXPECT_EQ(device.OnBytes("ATZ\r\r\nO", kStart).send, "");
  EXPECT_EQ(device.OnBytes("K\r\n", kStart).send, "AT+VCID=1\r");
  EXPECT_FALSE(device.connected());
  const DeviceStep ready = device.OnBytes("AT+VCID=1\r\r\nOK\r\n", kStart);
  EXPECT_EQ(ready.events, Events{Status(u"ready at " + kPort + u", caller ID on (AT+VCID=1)")});
  EXPECT_TRUE(device.connected());
  EXPECT_FALSE(ready.close);
}

TEST(ModemDevice, SaysSoWhenTheModemRefusesCallerId) {
  ModemDevice device(3, Settings());
  const DeviceStep ready = Initialise(device, "ERROR\r\nERROR\r\nERROR\r\n");
  EXPECT_EQ(ready.events, Events{Status(u"ready at " + kPort +
                                        u", but it refused AT+VCID=1 and AT#CID=1: only rings "
                                        u"are reported; it answered ERROR to ATZ")});
  EXPECT_TRUE(device.connected());
}

TEST(ModemDevice, ReportsCallsOnItsLine) {
  ModemDevice device(3, Settings());
  Initialise(device);
  EXPECT_EQ(
      device
          .OnBytes("RING\r\n\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 5551234\r\nNAME ", kStart + 1s)
          .events,
      Events{Call(u"5551234")});
  EXPECT_TRUE(device.OnBytes("= JOHN DOE\r\n\r\nRING\r\n", kStart + 6s).events.empty());
  EXPECT_EQ(device.OnBytes("RING\r\nNMBR=P\r\n", kStart + 30s).events, Events{Call(u"")});
  EXPECT_EQ(device.Deadline(), kStart + 30s + kDefaultRingTimeout);
}

TEST(ModemDevice, ReportsAProblemOncePerReasonInARow) {
  ModemDevice device(3, Settings());
  const DriverEvent missing =
      Status(u"unavailable at " + kPort + u" (No such file or directory), retrying every 3 s");
  EXPECT_EQ(device.OnOpenFailed("No such file or directory").events, Events{missing});
  EXPECT_TRUE(device.OnOpenFailed("No such file or directory").events.empty());
  EXPECT_EQ(device.OnOpenFailed("Permission denied").events.size(), 1U);
  EXPECT_EQ(device.OnOpenFailed("No such file or directory").events, Events{missing});

  // Not answering in time is a reason like any other.
  device.OnOpened(kStart);
  const DeviceStep silent = device.OnTime(kStart + kAnswerTimeout);
  EXPECT_TRUE(silent.close);
  EXPECT_EQ(silent.events, Events{Status(u"unavailable at " + kPort +
                                         u" (no answer to ATZ), retrying every 3 s")});
  device.OnOpened(kStart + 10s);
  EXPECT_TRUE(device.OnTime(kStart + 10s + kAnswerTimeout).events.empty());
  EXPECT_FALSE(device.connected());
}

TEST(ModemDevice, ReportsALossAndTheCallItInterrupted) {
  ModemDevice device(3, Settings());
  Initialise(device);
  device.OnBytes("RING\r\n", kStart + 1s);
  const DeviceStep lost = device.OnLost("Input/output error");
  EXPECT_EQ(lost.events,
            (Events{Call(u""), Status(u"lost at " + kPort + u" (Input/output error)")}));
  EXPECT_FALSE(device.connected());
  EXPECT_EQ(device.Deadline(), std::nullopt);
  // The port's absence is news after a loss; the same reason again is not.
  EXPECT_EQ(device.OnOpenFailed("No such file or directory").events.size(), 1U);
  EXPECT_TRUE(device.OnOpenFailed("No such file or directory").events.empty());

  // Back: initialised again from the top, and the problem is forgotten.
  const DeviceStep ready = Initialise(device);
  EXPECT_EQ(ready.events.size(), 1U);
  EXPECT_TRUE(device.connected());
  EXPECT_EQ(device.OnBytes("NMBR = 777\r\n", kStart + 2s).events, Events{Call(u"777")});
  EXPECT_EQ(device.OnLost("hang-up").events.size(), 1U);
  EXPECT_EQ(device.OnOpenFailed("No such file or directory").events.size(), 1U);
}

TEST(ModemDevice, ALossDuringTheDialogueIsAProblemNotALoss) {
  ModemDevice device(3, Settings());
  device.OnOpened(kStart);
  EXPECT_EQ(device.OnLost("hang-up").events,
            Events{Status(u"unavailable at " + kPort + u" (hang-up), retrying every 3 s")});
  // The abandoned dialogue does not time out later.
  EXPECT_EQ(device.Deadline(), std::nullopt);
}

TEST(ModemDevice, ForgetsAHalfLineWhenReopened) {
  ModemDevice device(3, Settings());
  Initialise(device);
  device.OnBytes("NMBR = 55", kStart);
  device.OnLost("hang-up");
  Initialise(device);
  EXPECT_EQ(device.OnBytes("12\r\nNMBR = 66\r\n", kStart).events, Events{Call(u"66")});
}

TEST(ModemDevice, ShowsAnUnprintablePortPathWithQuestionMarks) {
  ModemSettings settings = Settings();
  settings.port = "/dev/modem\xc3\xa9\n";
  ModemDevice device(3, settings);
  EXPECT_EQ(device.OnOpenFailed("x").events,
            Events{Status(u"unavailable at /dev/modem??? (x), retrying every 3 s")});
  // The reason is Windows' own, in the user's language: shown as it is.
  EXPECT_EQ(
      device.OnOpenFailed("\xd9\xbe\xdb\x8c\xd8\xaf\xd8\xa7 \xd9\x86\xd8\xb4\xd8\xaf.").events,
      Events{Status(u"unavailable at /dev/modem??? (\u067e\u06cc\u062f\u0627 "
                    u"\u0646\u0634\u062f.), retrying every 3 s")});
}

// One moment of a watchdog script, counted from when the modem became ready, and what the
// device must do then.
struct Moment {
  enum class Input { kTime, kBytes, kOpened, kOpenFailed };
  Input input;
  std::chrono::milliseconds at;
  std::string text;  // kBytes: what the modem says; kOpenFailed: why
  std::string send;
  Events events;
  bool close = false;
  bool connected = true;
  std::optional<std::chrono::milliseconds> deadline;  // the next, from the start; none: none
};

struct WatchdogCase {
  const char* name;
  std::vector<Moment> moments;
};

TEST(ModemDevice, ChecksAQuietModemAndResetsItWhenItHasGoneDeaf) {
  using Input = Moment::Input;
  constexpr std::chrono::milliseconds kQuiet = kDefaultQuietSpell;
  const DriverEvent ready = Status(u"ready at " + kPort + u", caller ID on (AT+VCID=1)");
  const DriverEvent reinit = Status(u"did not answer AT within 2 s; initialising it again");
  const DriverEvent reopen =
      Status(u"did not answer when initialised again (no answer to ATZ); reopening " + kPort);
  const std::vector<Moment> deaf_until_reopened = {
      {Input::kTime, kQuiet - 1s, "", "", {}, false, true, kQuiet},
      {Input::kTime, kQuiet, "", "AT\r", {}, false, true, kQuiet + 2s},
      {Input::kTime, kQuiet + 2s, "", "ATZ\r", {reinit}, false, true, kQuiet + 7s},
      {Input::kTime, kQuiet + 7s, "", "", {reopen}, true, true, std::nullopt},
      {Input::kOpened, kQuiet + 10s, "", "ATZ\r", {}, false, true, kQuiet + 15s},
  };
  auto then = [&deaf_until_reopened](std::vector<Moment> more) {
    std::vector<Moment> moments = deaf_until_reopened;
    moments.insert(moments.end(), more.begin(), more.end());
    return moments;
  };
  const WatchdogCase cases[] = {
      {"answers",
       {{Input::kTime, kQuiet, "", "AT\r", {}, false, true, kQuiet + 2s},
        {Input::kBytes, kQuiet + 1s, "AT\r\r\nOK\r\n", "", {}, false, true, 2 * kQuiet + 1s},
        {Input::kTime, kQuiet + 2s, "", "", {}, false, true, 2 * kQuiet + 1s},
        {Input::kTime, 2 * kQuiet + 1s, "", "AT\r", {}, false, true, 2 * kQuiet + 3s}}},
      {"any word puts the check off",
       {{Input::kBytes, kQuiet - 1s, "\r\n", "", {}, false, true, 2 * kQuiet - 1s},
        {Input::kTime, kQuiet, "", "", {}, false, true, 2 * kQuiet - 1s}}},
      {"answers after the new initialisation",
       {{Input::kTime, kQuiet, "", "AT\r", {}, false, true, kQuiet + 2s},
        {Input::kBytes, kQuiet + 1s, "\r\nERROR\r\n", "", {}, false, true, kQuiet + 2s},
        {Input::kTime, kQuiet + 2s, "", "ATZ\r", {reinit}, false, true, kQuiet + 7s},
        {Input::kBytes,
         kQuiet + 3s,
         "ATZ\r\r\nOK\r\n",
         "AT+VCID=1\r",
         {},
         false,
         true,
         kQuiet + 8s},
        {Input::kBytes, kQuiet + 4s, "OK\r\n", "", {ready}, false, true, 2 * kQuiet + 4s}}},
      {"answers once reopened",
       then({{Input::kBytes, kQuiet + 11s, "OK\r\n", "AT+VCID=1\r", {}, false, true, kQuiet + 16s},
             {Input::kBytes, kQuiet + 12s, "OK\r\n", "", {ready}, false, true, 2 * kQuiet + 12s}})},
      {"stays deaf: lost, and retried as an unplugged modem",
       then({{Input::kTime,
              kQuiet + 15s,
              "",
              "",
              {Status(u"lost at " + kPort + u" (no answer to ATZ)")},
              true,
              false,
              std::nullopt},
             {Input::kOpened, kQuiet + 18s, "", "ATZ\r", {}, false, false, kQuiet + 23s},
             {Input::kTime, kQuiet + 23s, "", "", {}, true, false, std::nullopt},
             {Input::kOpenFailed,
              kQuiet + 26s,
              "No such file or directory",
              "",
              {Status(u"unavailable at " + kPort +
                      u" (No such file or directory), retrying every 3 s")},
              false,
              false,
              std::nullopt}})},
      {"gone when reopened",
       {{Input::kTime, kQuiet, "", "AT\r", {}, false, true, kQuiet + 2s},
        {Input::kTime, kQuiet + 2s, "", "ATZ\r", {reinit}, false, true, kQuiet + 7s},
        {Input::kTime, kQuiet + 7s, "", "", {reopen}, true, true, std::nullopt},
        {Input::kOpenFailed,
         kQuiet + 10s,
         "No such file or directory",
         "",
         {Status(u"lost at " + kPort + u" (No such file or directory)")},
         false,
         false,
         std::nullopt}}},
      {"busy with a call: never checked",
       {{Input::kBytes, kQuiet - 1s, "RING\r\n", "", {}, false, true, kQuiet + 7s},
        {Input::kTime, kQuiet, "", "", {}, false, true, kQuiet + 7s},
        {Input::kBytes,
         kQuiet + 4s,
         "NMBR = 555\r\n",
         "",
         {Call(u"555")},
         false,
         true,
         kQuiet + 12s},
        {Input::kTime, kQuiet + 12s, "", "", {}, false, true, 2 * kQuiet + 4s},
        {Input::kTime, 2 * kQuiet + 4s, "", "AT\r", {}, false, true, 2 * kQuiet + 6s}}},
      {"a call during the check is an answer",
       {{Input::kTime, kQuiet, "", "AT\r", {}, false, true, kQuiet + 2s},
        {Input::kBytes, kQuiet + 1s, "RING\r\n", "", {}, false, true, kQuiet + 9s},
        {Input::kTime, kQuiet + 2s, "", "", {}, false, true, kQuiet + 9s}}},
  };
  for (const WatchdogCase& test : cases) {
    SCOPED_TRACE(test.name);
    ModemDevice device(3, Settings());
    ASSERT_EQ(Initialise(device).events.size(), 1U);
    for (const Moment& moment : test.moments) {
      SCOPED_TRACE(moment.at.count());
      const TimePoint now = kStart + moment.at;
      DeviceStep step;
      switch (moment.input) {
        case Input::kTime:
          step = device.OnTime(now);
          break;
        case Input::kBytes:
          step = device.OnBytes(moment.text, now);
          break;
        case Input::kOpened:
          step = device.OnOpened(now);
          break;
        case Input::kOpenFailed:
          step = device.OnOpenFailed(moment.text);
          break;
      }
      EXPECT_EQ(step.send, moment.send);
      EXPECT_EQ(step.events, moment.events);
      EXPECT_EQ(step.close, moment.close);
      EXPECT_EQ(device.connected(), moment.connected);
      const std::optional<TimePoint> deadline = device.Deadline();
      if (moment.deadline) {
        EXPECT_EQ(deadline, kStart + *moment.deadline);
      } else {
        EXPECT_EQ(deadline, std::nullopt);
      }
    }
  }
}

}  // namespace
}  // namespace qelto::cidr
