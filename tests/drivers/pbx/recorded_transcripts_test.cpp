// The telephone-system device over the event streams a real Asterisk 20 sent to a manager user
// with read = call, one call of each kind: a shop expects one row per call from outside, with
// the caller's number (none when withheld), and none for internal and outgoing calls.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "drivers/pbx/pbx_device.h"
#include "transcript_call.h"

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;
using testing_support::ChannelNumbering;
using testing_support::kRecordedCaller;
using testing_support::TranscriptCall;

const PbxDevice::TimePoint kStart{1h};

std::string FakeMd5(std::string_view bytes) {
  return "md5(" + std::string(bytes) + ")";
}

// What a logged-in connection has heard before the call: the login and an empty listing.
const std::string kLogin =
    "Asterisk Call Manager/9.0.0\r\n"
    "Response: Success\r\nActionID: qelto-challenge\r\nChallenge: 123456789\r\n\r\n"
    "Response: Success\r\nActionID: qelto-login\r\nMessage: Authentication accepted\r\n\r\n"
    "Response: Success\r\nActionID: qelto-channels\r\nEventList: start\r\n"
    "Message: Channels will follow\r\n\r\n"
    "Event: CoreShowChannelsComplete\r\nActionID: qelto-channels\r\nEventList: Complete\r\n"
    "ListItems: 0\r\n\r\n";

// The events of a recorded transcript as the server sends them.
TranscriptCall Transcript(const std::string& name) {
  std::optional<TranscriptCall> call =
      TranscriptCall::Read(std::string(QELTO_AMI_TRANSCRIPTS_DIR) + "/" + name + ".txt");
  EXPECT_TRUE(call.has_value()) << "cannot read the transcript " << name;
  return call.value_or(TranscriptCall{});
}

// The rows and statuses a device of line 3 gives for `streams`, one second apart, after the
// login.
struct Heard {
  Strings rows;  // "line:digits"
  Strings statuses;
};
Heard Hear(const std::vector<std::string>& streams) {
  PbxSettings settings;
  settings.host = "pbx";
  settings.user = "recorder";
  settings.secret = "s3cr3t";
  PbxDevice device(3, settings, &FakeMd5);
  device.OnOpened(kStart);
  Heard heard;
  auto now = kStart;
  for (const std::string& bytes : streams) {
    for (const DriverEvent& event : device.OnBytes(bytes, now).events) {
      const std::string text(event.text.begin(), event.text.end());
      if (event.code == 0) {
        heard.statuses.push_back(text);
      } else {
        heard.rows.push_back(std::to_string(event.code) + ":" + text.substr(1));
      }
    }
    now += 1s;
  }
  EXPECT_TRUE(device.connected());
  return heard;
}

// `rows` with the recorded caller's number replaced by `caller`.
Strings From(Strings rows, std::string_view caller) {
  for (std::string& row : rows) {
    if (const std::size_t at = row.find(kRecordedCaller); at != std::string::npos) {
      row.replace(at, kRecordedCaller.size(), caller);
    }
  }
  return rows;
}

struct RecordedCall {
  const char* transcript;
  Strings rows;  // "line:digits"
};

TEST(RecordedAsterisk20Transcripts, GiveOneRowPerCallFromOutside) {
  const RecordedCall cases[] = {
      {"direct", {"3:09121234567"}},
      {"ringgroup", {"3:09121234567"}},
      {"queue", {"3:09121234567"}},
      {"localgroup", {"3:09121234567"}},
      {"localqueue", {"3:09121234567"}},
      {"followme", {"3:09121234567"}},
      {"noanswer", {"3:09121234567"}},
      {"transfer", {"3:09121234567"}},
      {"attended", {"3:09121234567"}},
      {"anonymous", {"3:"}},
      {"nocid", {"3:"}},
      {"internal", {}},
      {"outgoing", {}},
  };
  for (const RecordedCall& test : cases) {
    SCOPED_TRACE(test.transcript);
    const TranscriptCall call = Transcript(test.transcript);
    const Heard recorded = Hear({kLogin, call.Recorded()});
    EXPECT_EQ(recorded.rows, test.rows);
    EXPECT_EQ(recorded.statuses, Strings{"SLine 3: pbx ready at pbx:5038 as recorder"});

    // The next calls of its kind, with channels of their own, are calls of their own.
    ChannelNumbering numbering;
    const Heard more = Hear(
        {kLogin, call.Render("09350000001", numbering), call.Render("09350000002", numbering)});
    Strings expected = From(test.rows, "09350000001");
    for (const std::string& row : From(test.rows, "09350000002")) expected.push_back(row);
    EXPECT_EQ(more.rows, expected);
  }
}

}  // namespace
}  // namespace qelto::cidr
