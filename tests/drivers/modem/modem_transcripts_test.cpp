// Our driver library with one caller-ID modem, through the transcripts of what modems print: the
// same table and the same checks on Linux and on Windows; modem_bench.h says how each platform
// provides the modem. The driver reads its configuration once per process: this executable
// holds these tests only.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/driver_abi.h"
#include "driver_observer.h"
#include "modem_bench.h"
#include "recorder_reading.h"

namespace qelto::cidr::testing_support {
namespace {

using namespace std::chrono_literals;

// A modem's first open waits for no reopen interval; a re-plug waits for one or two.
constexpr std::chrono::seconds kModemPatience = 30s;

const std::string kFullBlock =
    "RING\r\n\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 5551234\r\nNAME = JOHN DOE\r\n\r\nRING\r\n";

struct Transcript {
  const char* name;
  ModemKind kind;
  std::vector<std::string> commands;  // the set-up the driver sends
  const char* caller_id;              // the command that switched caller ID on
  std::vector<std::string> printed;   // what the modem prints then, piece by piece
  std::vector<std::u16string> calls;  // the call events on line 1
};

const Transcript kTranscripts[] = {
    {"CallBlockIsOneCall",
     ModemKind::kVcid,
     {"ATZ", "AT+VCID=1"},
     "AT+VCID=1",
     {kFullBlock},
     {u"C5551234"}},
    // Withheld (P) and out of area (O) give a call without a number; the recorder writes 0.
    {"WithheldNumberIsACallWithoutOne",
     ModemKind::kVcid,
     {"ATZ", "AT+VCID=1"},
     "AT+VCID=1",
     {"RING\r\nDATE = 0321\r\nTIME = 1406\r\nNMBR = P\r\nRING\r\n"},
     {u"C"}},
    {"OutOfAreaIsACallWithoutANumber",
     ModemKind::kVcid,
     {"ATZ", "AT+VCID=1"},
     "AT+VCID=1",
     {"RING\r\nDATE = 0321\r\nTIME = 1407\r\nNMBR = O\r\nRING\r\n"},
     {u"C"}},
    // Another number can only be another caller: the marker that the rings gave one call.
    {"RingsWithoutCallerIdAreOneCall",
     ModemKind::kVcid,
     {"ATZ", "AT+VCID=1"},
     "AT+VCID=1",
     {"RING\r\n", "RING\r\n", "RING\r\n", "NMBR = 42\r\n"},
     {u"C", u"C42"}},
    {"BareBlocksInPiecesAreCalls",
     ModemKind::kVcid,
     {"ATZ", "AT+VCID=1"},
     "AT+VCID=1",
     {"NMBR=0912", "1234567\r", "\nRING\r\nDATE=0321\r\nTIME = 1407\r\nDDN_NMBR = 5550000\r\n"},
     {u"C09121234567", u"C5550000"}},
    {"RefusedVcidFallsBackToCid",
     ModemKind::kCid,
     {"ATZ", "AT+VCID=1", "AT#CID=1"},
     "AT#CID=1",
     {kFullBlock},
     {u"C5551234"}},
};

// gtest prints a failed case's parameter: its name says it.
void PrintTo(const Transcript& transcript, std::ostream* out) {
  *out << transcript.name;
}

std::u16string ReadyText(std::string_view caller_id) {
  return u"SLine 1: modem ready at " + Widen(Bench().port()) + u", caller ID on (" +
         Widen(caller_id) + u")";
}

std::string Info() {
  return Narrow(static_cast<const char16_t*>(api.info()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Each test plugs its modem and registers the callback, which opens the port; at its end the
// callback is withdrawn, which closes the port, and the modem is pulled out.
class ModemTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Bench().problem(), "");
    observer.Reset();
    observer.patience = kModemPatience;
  }

  void Start(ModemKind kind) {
    ASSERT_EQ(Bench().Plug(kind), "");
    ASSERT_EQ(api.register_event(OnEvent, kRegisterEventValue), 0);
  }

  void TearDown() override {
    if (api.register_event != nullptr) api.register_event(nullptr, 0);
    Bench().Unplug();
  }
};

class ModemTranscripts : public ModemTest, public testing::WithParamInterface<Transcript> {};

TEST_P(ModemTranscripts, GiveTheirCallsOnTheModemsLine) {
  const Transcript& transcript = GetParam();
  Start(transcript.kind);
  EXPECT_EQ(Bench().Commands(transcript.commands.size()), transcript.commands);
  const auto ready = observer.WaitForText(ReadyText(transcript.caller_id));
  ASSERT_TRUE(ready) << "not ready";
  EXPECT_EQ(ready->connected, 1);
  EXPECT_NE(Info().find("Line 1 modem " + Bench().port() + ": Connected"), std::string::npos)
      << Info();
  for (const std::string& piece : transcript.printed) Bench().Send(piece);
  EXPECT_EQ(observer.WaitForCalls(1, transcript.calls.size()), transcript.calls);
}

INSTANTIATE_TEST_SUITE_P(Table, ModemTranscripts, testing::ValuesIn(kTranscripts),
                         [](const testing::TestParamInfo<Transcript>& param) {
                           return std::string(param.param.name);
                         });

using ModemUnplugged = ModemTest;

TEST_F(ModemUnplugged, IsDisconnectedAndComesBackByItself) {
  Start(ModemKind::kVcid);
  ASSERT_TRUE(observer.WaitForText(ReadyText("AT+VCID=1")));
  // A modem that says nothing for a while is still there: the driver looks at a quiet port
  // now and then, and must not take the quiet for a loss.
  std::this_thread::sleep_for(3500ms);
  for (const SeenEvent& event : observer.Events()) {
    ASSERT_EQ(event.text.find(u"lost"), std::u16string::npos) << Narrow(event.text.c_str());
  }
  Bench().Unplug();
  const auto lost =
      observer.WaitForText(u"SLine 1: modem lost at " + Widen(Bench().port()) + u" (");
  ASSERT_TRUE(lost) << "no loss reported";
  EXPECT_EQ(lost->connected, 0);
  EXPECT_NE(Info().find("Line 1 modem " + Bench().port() + ": Disconnected"), std::string::npos)
      << Info();

  observer.Reset();  // from here on, the ready event is the second one
  ASSERT_EQ(Bench().Plug(ModemKind::kVcid), "");
  EXPECT_EQ(Bench().Commands(2), (std::vector<std::string>{"ATZ", "AT+VCID=1"}));
  const auto back = observer.WaitForText(ReadyText("AT+VCID=1"));
  ASSERT_TRUE(back) << "not ready again";
  EXPECT_EQ(back->connected, 1);
  Bench().Send(kFullBlock);
  EXPECT_EQ(observer.WaitForCalls(1, 1), std::vector<std::u16string>{u"C5551234"});

  const std::string raw = ReadFile(Bench().RawLogPath());
  EXPECT_NE(raw.find(" line 1 # opened " + Bench().port() + "\n"), std::string::npos) << raw;
  EXPECT_NE(raw.find(" line 1 > ATZ\\r\n"), std::string::npos) << raw;
  EXPECT_NE(raw.find(" line 1 # closed: "), std::string::npos) << raw;
  EXPECT_NE(raw.find("NMBR = 5551234\\r\\nNAME = JOHN DOE"), std::string::npos) << raw;
}

}  // namespace
}  // namespace qelto::cidr::testing_support
