// fake-ami-server: our stand-in for a telephone system's manager interface, for trying the
// driver by hand. Listens on 127.0.0.1:PORT for the manager user USER with SECRET, and reads
// commands from standard input:
//   call NUMBER [DIALLED]   an incoming call from NUMBER (to DIALLED, default 02155550000),
//                           rung on two extensions, answered and hung up
//   internal                a call from extension 201 to 202 (not to be recorded)
//   quit                    switches the system off

#include <ctime>
#include <iostream>
#include <sstream>
#include <string>

#include "ami_transcript.h"
#include "fake_ami_server.h"

using namespace qelto::cidr::testing_support;

namespace {

// Asterisk's Uniqueids are the time a channel was made and a counter: a call of this run never
// takes the key of one from an earlier run.
std::string Key(int id) {
  return std::to_string(static_cast<long long>(std::time(nullptr)) * 1000 + id);
}

std::string IncomingCall(const std::string& caller, const std::string& dialled, int id) {
  const std::string key = Key(id);
  const AmiChannel trunk{
      "PJSIP/provider-" + key, "from-trunk", dialled, caller, key + ".1", key + ".1"};
  const AmiChannel phone{"PJSIP/201-" + key, "from-internal", "201", caller,
                         key + ".2",         key + ".1"};
  const AmiChannel other{"PJSIP/202-" + key, "from-internal", "202", caller,
                         key + ".3",         key + ".1"};
  return Newchannel(trunk) + Newchannel(phone) + DialBegin(trunk, phone) + Newchannel(other) +
         DialBegin(trunk, other) + Answered(phone) + Hangup(other) + Hangup(phone) + Hangup(trunk);
}

std::string InternalCall(int id) {
  const std::string key = Key(id);
  const AmiChannel from{"PJSIP/201-" + key, "from-internal", "202", "201", key + ".1", key + ".1"};
  const AmiChannel to{"PJSIP/202-" + key, "from-internal", "202", "201", key + ".2", key + ".1"};
  return Newchannel(from) + Newchannel(to) + DialBegin(from, to) + Hangup(to) + Hangup(from);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: fake-ami-server PORT USER SECRET\n";
    return 2;
  }
  FakeAmiServer server(argv[2], argv[3], std::stoi(argv[1]));
  if (!server.problem().empty()) {
    std::cerr << "fake-ami-server: " << server.problem() << "\n";
    return 1;
  }
  std::cout << "listening on 127.0.0.1:" << server.port() << std::endl;
  int calls = 0;
  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream words(line);
    std::string command, number, dialled = "02155550000";
    words >> command >> number >> dialled;
    std::string bytes;
    if (command == "call" && !number.empty()) {
      bytes = IncomingCall(number, dialled, ++calls);
    } else if (command == "internal") {
      bytes = InternalCall(++calls);
    } else if (command == "quit") {
      break;
    } else {
      std::cout << "commands: call NUMBER [DIALLED] | internal | quit" << std::endl;
      continue;
    }
    std::cout << (server.Send(bytes) ? "sent" : "no client logged in") << std::endl;
  }
  return 0;
}
