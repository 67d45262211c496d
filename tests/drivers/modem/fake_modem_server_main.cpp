// fake-modem-server: fake caller-ID modems (see fake_modem.h) for a program that cannot make
// pseudo-terminals itself, such as a Windows test under Wine, whose COM ports are the links in
// the prefix's dosdevices folder. It listens on loopback, prints its TCP port on the first line
// of its output, and serves one client at a time, one command a line, one reply line each:
//
//   plug PORT vcid|cid       a modem at FOLDER/<port in lower case>      OK | ERROR why
//   send PORT HEX            the bytes, in hexadecimal, to the driver    OK
//   commands PORT COUNT      waits for COUNT commands from the driver    OK cmd<TAB>cmd...
//   unplug PORT              the modem pulled out                        OK
//
// Usage: fake-modem-server FOLDER. It ends when its standard input closes, so it never outlives
// whoever started it.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "fake_modem.h"

namespace {

using qelto::cidr::UniqueFd;
using qelto::cidr::testing_support::FakeModem;

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

class Server {
 public:
  explicit Server(std::string folder) : folder_(std::move(folder)) {}

  std::string Handle(const std::string& line) {
    std::istringstream words(line);
    std::string verb, port, argument;
    words >> verb >> port >> argument;
    std::transform(port.begin(), port.end(), port.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (verb == "plug") {
      modems_.erase(port);  // the old one out first: its link goes with it
      auto modem = std::make_unique<FakeModem>(
          folder_ + "/" + port, argument == "cid" ? FakeModem::CidModem() : FakeModem::VcidModem());
      if (!modem->problem().empty()) return "ERROR " + modem->problem();
      modems_[port] = std::move(modem);
      return "OK";
    }
    const auto found = modems_.find(port);
    if (found == modems_.end()) return "ERROR no modem at " + port;
    if (verb == "send") {
      found->second->Send(FromHex(argument));
      return "OK";
    }
    if (verb == "commands") {
      std::string reply = "OK";
      const auto commands = found->second->WaitForCommands(std::stoul(argument));
      for (std::size_t i = 0; i < commands.size(); ++i)
        reply += (i == 0 ? " " : "\t") + commands[i];
      return reply;
    }
    if (verb == "unplug") {
      modems_.erase(found);
      return "OK";
    }
    return "ERROR unknown command";
  }

 private:
  std::string folder_;
  std::map<std::string, std::unique_ptr<FakeModem>> modems_;
};

void Serve(int client, Server& server) {
  std::string pending;
  char buffer[65536];
  for (ssize_t n; (n = ::read(client, buffer, sizeof(buffer))) > 0;) {
    pending.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::string reply = server.Handle(line) + "\n";
      if (::send(client, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fake-modem-server FOLDER\n");
    return 2;
  }
  const UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(listener.get(), 4) != 0 ||
      ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("fake-modem-server");
    return 1;
  }
  std::printf("%d\n", ntohs(address.sin_port));
  std::fflush(stdout);
  Server server(argv[1]);
  for (;;) {
    pollfd polled[2] = {{listener.get(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    if (::poll(polled, 2, -1) < 0) continue;
    if (polled[1].revents != 0) {
      char byte;
      if (::read(STDIN_FILENO, &byte, 1) <= 0) return 0;
    }
    if (polled[0].revents == 0) continue;
    const UniqueFd client(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (client.valid()) Serve(client.get(), server);
  }
}
