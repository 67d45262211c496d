// The telephone-system device over the event streams a real Asterisk 20 sent to a manager user
// with read = call, one call of each kind: a shop expects one row per call from outside, with
// the caller's number (none when withheld), and none for internal and outgoing calls.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "drivers/pbx/pbx_device.h"

namespace qelto::sim {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

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

// The events of a recorded transcript, without its "#" header, with the CR LF the server sends.
std::string Events(const std::string& name) {
  std::ifstream file(std::string(QELTO_AMI_TRANSCRIPTS_DIR) + "/" + name + ".txt");
  std::string events;
  std::string line;
  bool any = false;
  while (std::getline(file, line)) {
    any = true;
    if (line.starts_with("#")) continue;
    events += line + "\r\n";
  }
  EXPECT_TRUE(any) << "cannot read the transcript " << name;
  return events + "\r\n";
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
    PbxSettings settings;
    settings.host = "pbx";
    settings.user = "recorder";
    settings.secret = "s3cr3t";
    PbxDevice device(3, settings, &FakeMd5);
    device.OnOpened(kStart);
    Strings rows;
    Strings statuses;
    auto now = kStart;
    for (const std::string& bytes : {kLogin, Events(test.transcript)}) {
      for (const DriverEvent& event : device.OnBytes(bytes, now).events) {
        const std::string text(event.text.begin(), event.text.end());
        if (event.code == 0) {
          statuses.push_back(text);
        } else {
          rows.push_back(std::to_string(event.code) + ":" + text.substr(1));
        }
      }
      now += 1s;
    }
    EXPECT_EQ(rows, test.rows);
    EXPECT_EQ(statuses, Strings{"SLine 3: pbx ready at pbx:5038 as recorder"});
    EXPECT_TRUE(device.connected());
  }
}

}  // namespace
}  // namespace qelto::sim
