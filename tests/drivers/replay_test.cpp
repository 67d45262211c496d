// qelto-cidr-sim replay over raw data files as the driver writes them: the rows and reasons the
// live driver gives, and clear errors for files that are none.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "drivers/sim/raw_reader.h"
#include "drivers/sim/replay_tool.h"
#include "support/temp_dir.h"

namespace qelto::cidr {
namespace {

const std::string kFixtures = QELTO_REPLAY_FIXTURES_DIR;
const std::string kModemPort = "/dev/serial/by-id/usb-Conexant_USB_Modem-if00";

struct ReplayCase {
  const char* name;
  std::vector<std::string> arguments;  // after "replay"; @ stands for the fixtures' folder
  std::string config;                  // written as POS_CIDR.conf, given with --config
  std::string out;
  std::string err_start;  // the first problem printed, from its start
  int status = 0;
};

const std::string kModemRows =
    "  2026-03-21 14:05:07.390  status   Line 1: modem ready at " + kModemPort +
    ", caller ID on (AT+VCID=1)\n"
    "  2026-03-21 14:06:12.018  call     line 1, number 5551234\n"
    "  2026-03-21 14:06:15.990  dropped  number 5551234: the caller-ID block of a call already "
    "reported, repeated\n"
    "  2026-03-21 14:09:01.500  call     line 1, number 09121110007\n"
    "  2026-03-21 14:09:01.500  dropped  number 9121110007: the second number line of the block "
    "already reported\n"
    "  2026-03-21 14:12:30.000  call     line 1, number withheld or not sent (recorded as 0)\n"
    "  2026-03-21 14:22:32.000  status   Line 1: modem did not answer AT within 2 s; "
    "initialising it again\n"
    "  2026-03-21 14:22:37.000  status   Line 1: modem did not answer when initialised again (no "
    "answer to ATZ); reopening " +
    kModemPort +
    "\n"
    "  2026-03-21 14:22:40.380  status   Line 1: modem ready at " +
    kModemPort +
    ", caller ID on (AT+VCID=1)\n"
    "  2026-03-21 14:25:00.000  call     line 1, number 02155550003\n"
    "  2026-03-21 14:25:09.000  status   Line 1: modem lost at " +
    kModemPort + " (hang-up)\n  4 calls from 21 records\n\n";

std::string OnPort(std::string rows, const std::string& port) {
  for (std::size_t at; (at = rows.find(kModemPort)) != std::string::npos;) {
    rows.replace(at, kModemPort.size(), port);
  }
  return rows;
}

std::string PbxRows(const std::string& line) {
  const std::string internal =
      ": not from outside (an internal or outgoing call): its context from-internal is none of "
      "the inbound contexts from-trunk, from-pstn\n";
  return "  2026-12-10 10:45:20.050  status   Line 2: pbx ready at 192.168.1.10:5038 as "
         "recorder\n"
         "  2026-12-10 10:45:20.470  call     line " +
         line +
         ", number 09121234567\n"
         "  2026-12-10 10:45:31.470  dropped  call 1796899563.18 of SIP/201-00000012" +
         internal + "  2026-12-10 10:45:38.270  dropped  call 1796899573.20 of SIP/201-00000014" +
         internal + "  2026-12-10 10:45:42.874  call     line " + line +
         ", number withheld or not sent (recorded as 0)\n  2 calls from 95 records\n\n";
}

TEST(Replay, GivesTheRowsAndReasonsOfTheLiveDriver) {
  const ReplayCase cases[] = {
      {"a modem with the defaults",
       {"@/modem-raw.txt"},
       "",
       "Line 1: modem at " + kModemPort + " (default settings: none given for line 1)\n" +
           kModemRows,
       "",
       0},
      {"a telephone system with the defaults",
       {"@/ami-raw.txt"},
       "",
       "Line 2: pbx at 192.168.1.10:5038 (default settings: none given for line 2)\n" +
           PbxRows("2"),
       "",
       0},
      {"settings from the command line",
       {"@/ami-raw.txt", "--device", "kind=pbx", "line=2", "did_line=02155550003=5"},
       "",
       "Line 2: pbx at 192.168.1.10:5038 (settings from the command line)\n" + PbxRows("5"),
       "",
       0},
      {"settings from POS_CIDR.conf",
       {"@/modem-raw.txt", "--config", "POS_CIDR.conf"},
       "[device]\nkind = modem\nline = 1\nport = /dev/ttyACM0\n"
       "[device]\nkind = pbx\nline = 9\nhost = pbx\nuser = u\nsecret = s\n",
       "Line 1: modem at /dev/ttyACM0 (settings from {conf})\n" +
           OnPort(kModemRows, "/dev/ttyACM0"),
       "",
       0},
      // Recorded by the end-to-end test, whose modem went deaf: the rows are the lines of its
      // log.txt, and the call it recorded.
      {"a modem gone deaf, with its quiet spell",
       {"@/deaf-modem-raw.txt", "--device", "kind=modem", "line=3", "quiet_spell=3"},
       "",
       "Line 3: modem at /dev/ttyACM0 (settings from the command line)\n"
       "  2026-12-11 11:45:21.587  status   Line 3: modem ready at /dev/ttyACM0, caller ID on "
       "(AT+VCID=1)\n"
       "  2026-12-11 11:45:26.587  status   Line 3: modem did not answer AT within 2 s; "
       "initialising it again\n"
       "  2026-12-11 11:45:31.587  status   Line 3: modem did not answer when initialised again "
       "(no answer to ATZ); reopening /dev/ttyACM0\n"
       "  2026-12-11 11:45:34.601  status   Line 3: modem ready at /dev/ttyACM0, caller ID on "
       "(AT+VCID=1)\n"
       "  2026-12-11 11:45:34.601  call     line 3, number 09127654321\n"
       "  1 call from 15 records\n\n",
       "",
       0},
      {"a modem gone deaf, with another quiet spell",
       {"@/deaf-modem-raw.txt"},
       "",
       "Line 3: modem at /dev/ttyACM0 (default settings: none given for line 3)\n"
       "  2026-12-11 11:45:21.587  status   Line 3: modem ready at /dev/ttyACM0, caller ID on "
       "(AT+VCID=1)\n"
       "  2026-12-11 11:45:31.600  note     the driver closed the port as the modem did not "
       "answer, where the replay with these settings has the modem answer: replay with the "
       "shop's POS_CIDR.conf\n"
       "  2026-12-11 11:45:34.601  status   Line 3: modem ready at /dev/ttyACM0, caller ID on "
       "(AT+VCID=1)\n"
       "  2026-12-11 11:45:34.601  call     line 3, number 09127654321\n"
       "  1 call from 15 records\n\n",
       "",
       0},
      {"a missing file", {"@/none.txt"}, "", "", "qelto-cidr-sim: cannot read ", 1},
      {"a folder", {"@"}, "", "", "qelto-cidr-sim: cannot read ", 1},
      {"a file that is no raw data",
       {"@/../pbx/transcripts/direct.txt"},
       "",
       "",
       "qelto-cidr-sim: " + kFixtures +
           "/../pbx/transcripts/direct.txt:1: not a raw data record "
           "(no time stamp and line number at its start), passed over\n",
       1},
      {"a garbled POS_CIDR.conf",
       {"@/modem-raw.txt", "--config", "POS_CIDR.conf"},
       "[device]\nkind = fax\n",
       "",
       "qelto-cidr-sim: ",
       1},
  };
  for (const ReplayCase& test : cases) {
    SCOPED_TRACE(test.name);
    testing_support::TempDir folder;
    std::vector<std::string_view> arguments{"replay"};
    std::vector<std::string> owned;
    owned.reserve(test.arguments.size());
    for (std::string argument : test.arguments) {
      if (argument.starts_with("@")) argument.replace(0, 1, kFixtures);
      if (argument == "POS_CIDR.conf") {
        argument = folder.File("POS_CIDR.conf");
        std::ofstream(argument, std::ios::binary) << test.config;
      }
      owned.push_back(argument);
    }
    for (const std::string& argument : owned) arguments.push_back(argument);
    const ToolRequest request = ParseToolArguments(arguments);
    ASSERT_EQ(request.kind, ToolRequest::Kind::kReplay) << request.text;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunReplay(request, out, err), test.status) << err.str();
    std::string expected = test.out;
    if (const std::size_t at = expected.find("{conf}"); at != std::string::npos) {
      expected.replace(at, 6, folder.File("POS_CIDR.conf"));
    }
    if (!expected.empty()) {
      EXPECT_EQ(out.str(), expected);
    }
    if (test.err_start.empty()) {
      EXPECT_EQ(err.str(), "");
    } else {
      EXPECT_TRUE(err.str().starts_with(test.err_start)) << err.str();
    }
  }
}

TEST(Replay, ReadsBackEveryByteTheDriverWritesAndRefusesWhatItNeverWrites) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  std::string why;
  const std::string record =
      FormatRawRecord("2026-03-21 14:05:07.123", 7, RawDirection::kRead, all);
  const std::optional<RawRecord> read = ParseRawRecord(record.substr(0, record.size() - 1), why);
  ASSERT_TRUE(read) << why;
  EXPECT_EQ(read->bytes, all);
  EXPECT_EQ(read->line, 7);
  EXPECT_EQ(FormatRawStamp(read->at), "2026-03-21 14:05:07.123");
  EXPECT_EQ(FormatRawStamp(std::chrono::milliseconds(0)), "1970-01-01 00:00:00.000");

  const std::string stamp = "2026-03-21 14:05:07.123 line ";
  for (const std::string& garbled :
       {stamp + "0 < RING", stamp + "2147483648 < RING", stamp + "+1 < RING", stamp + "1 ? RING",
        stamp + "1 <RING", stamp + "1 < \\q", stamp + "1 < \\x4", stamp + "1 < \tRING",
        std::string("2026-13-21 14:05:07.123 line 1 < RING"),
        std::string("2026-03-21 14:05:07 line 1 < RING"), std::string("RING")}) {
    SCOPED_TRACE(garbled);
    EXPECT_FALSE(ParseRawRecord(garbled, why));
    EXPECT_NE(why, "");
  }
  // A Windows editor's CR LF, and a note without bytes.
  EXPECT_EQ(ParseRawRecord(stamp + "1 # \r", why)->bytes, "");
}

}  // namespace
}  // namespace qelto::cidr
