// The modem transcripts' bench on Windows: our POS_CIDR.dll, copied into a folder of the test's
// own with its configuration file, and fake modems served from the Linux side by
// fake-modem-server (tests/drivers/modem/with-fake-modems starts it and names it and the COM port
// in QELTO_FAKE_MODEM_SERVER and QELTO_FAKE_MODEM_PORT): under Wine, COM ports are links in the
// prefix's dosdevices folder, which the server points at its pseudo-terminals.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "common/win32/wide_text.h"
#include "driver_observer.h"
#include "modem_bench.h"

namespace qelto::cidr::testing_support {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string Hex(std::string_view bytes) {
  std::string hex;
  char digits[3];
  for (const char c : bytes) {
    std::snprintf(digits, sizeof(digits), "%02x", static_cast<unsigned char>(c));
    hex += digits;
  }
  return hex;
}

class WinModemBench final : public ModemBench {
 public:
  WinModemBench() {
    port_ = Variable("QELTO_FAKE_MODEM_PORT");
    const std::string server = Variable("QELTO_FAKE_MODEM_SERVER");
    if (port_.empty() || server.empty()) {
      problem_ = "no fake modems: run this under tests/drivers/modem/with-fake-modems";
      return;
    }
    if (!ConnectToServer(server)) return;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = Utf8FromWide(temp) + "qelto-modem-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryW(WideFromUtf8(folder_).c_str(), nullptr);
    if (!CopyFileW(WideFromUtf8(QELTO_CIDR_DRIVER_PATH).c_str(),
                   WideFromUtf8(folder_ + "\\POS_CIDR.dll").c_str(), FALSE)) {
      problem_ = "cannot copy the driver: " + std::to_string(GetLastError());
      return;
    }
    std::ofstream(folder_ + "\\POS_CIDR.conf", std::ios::binary) << OneModemConfig(port_);
    const std::string pipe =
        R"(\\.\pipe\qelto-modem-bench-)" + std::to_string(GetCurrentProcessId());
    SetEnvironmentVariableW(L"QELTO_CIDR_SIM_SOCKET", WideFromUtf8(pipe).c_str());
    problem_ = LoadDriver(folder_ + "\\POS_CIDR.dll");
  }

  ~WinModemBench() override {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    WSACleanup();
  }

  const std::string& problem() const override { return problem_; }
  const std::string& port() const override { return port_; }
  std::string RawLogPath() const override { return folder_ + "\\raw.txt"; }

  std::string Plug(ModemKind kind) override {
    const std::string reply = Ask("plug " + port_ + (kind == ModemKind::kCid ? " cid" : " vcid"));
    return reply == "OK" ? std::string() : reply;
  }
  void Send(std::string_view bytes) override { Ask("send " + port_ + " " + Hex(bytes)); }
  std::vector<std::string> Commands(std::size_t count) override {
    const std::string reply = Ask("commands " + port_ + " " + std::to_string(count));
    std::vector<std::string> commands;
    if (reply.rfind("OK ", 0) != 0) return commands;
    std::size_t start = 3;
    for (std::size_t tab; (tab = reply.find('\t', start)) != std::string::npos; start = tab + 1) {
      commands.push_back(reply.substr(start, tab - start));
    }
    commands.push_back(reply.substr(start));
    return commands;
  }
  void Unplug() override { Ask("unplug " + port_); }

 private:
  bool ConnectToServer(const std::string& server) {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
    const std::size_t colon = server.rfind(':');
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (colon == std::string::npos ||
        getaddrinfo(server.substr(0, colon).c_str(), server.substr(colon + 1).c_str(), &hints,
                    &found) != 0) {
      problem_ = "bad QELTO_FAKE_MODEM_SERVER: " + server;
      return false;
    }
    socket_ = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    const bool connected =
        socket_ != INVALID_SOCKET &&
        connect(socket_, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
    freeaddrinfo(found);
    if (!connected) problem_ = "cannot reach the fake-modem-server at " + server;
    return connected;
  }

  // One command to the server and its reply line.
  std::string Ask(const std::string& command) {
    const std::string line = command + "\n";
    if (send(socket_, line.data(), static_cast<int>(line.size()), 0) !=
        static_cast<int>(line.size())) {
      return "ERROR the fake-modem-server went away";
    }
    std::string reply;
    char c = 0;
    while (recv(socket_, &c, 1, 0) == 1 && c != '\n') reply += c;
    return reply;
  }

  std::string problem_;
  std::string port_;
  std::string folder_;
  SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace

ModemBench& Bench() {
  static WinModemBench bench;
  return bench;
}

}  // namespace qelto::cidr::testing_support
