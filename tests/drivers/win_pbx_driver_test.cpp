// Our POS_CIDR.dll with a POS_CIDR.conf beside it that lists a telephone system: a small manager
// interface of the test's own on loopback (Winsock) takes the driver's MD5 login, sends an
// incoming call, and hangs up on it; the driver reports the call, the loss, and logs in again.
// Its own executable, because the driver reads its configuration once per process.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/win32/wide_text.h"
#include "device/driver_abi.h"
#include "driver_observer.h"
#include "drivers/pbx/md5.h"
#include "pbx/ami_transcript.h"

namespace qelto::cidr {
namespace {

using namespace std::chrono_literals;
using namespace testing_support;  // the driver's callback and what it saw

// One request from the client, up to its blank line; empty when the connection ended.
std::string ReadRequest(SOCKET client, std::string& pending) {
  while (pending.find("\r\n\r\n") == std::string::npos) {
    char buffer[1024];
    const int received = recv(client, buffer, sizeof(buffer), 0);
    if (received <= 0) return {};
    pending.append(buffer, static_cast<std::size_t>(received));
  }
  const std::size_t end = pending.find("\r\n\r\n") + 4;
  std::string request = pending.substr(0, end);
  pending.erase(0, end);
  return request;
}

// Accepts the driver, takes its MD5 login and answers its question for the calls in progress
// with `in_progress` (the fields of each channel); the client, or INVALID_SOCKET.
SOCKET AcceptAndLogIn(SOCKET listener, const std::vector<std::string>& in_progress = {}) {
  const SOCKET client = accept(listener, nullptr, nullptr);
  if (client == INVALID_SOCKET) return client;
  const auto say = [&](const std::string& text) {
    send(client, text.data(), static_cast<int>(text.size()), 0);
  };
  say("Asterisk Call Manager/5.0.1\r\n");
  std::string pending;
  const std::string challenge = ReadRequest(client, pending);
  EXPECT_NE(challenge.find("Action: Challenge\r\n"), std::string::npos) << challenge;
  say("Response: Success\r\nActionID: qelto-challenge\r\nChallenge: 840265317\r\n\r\n");
  const std::string login = ReadRequest(client, pending);
  EXPECT_NE(login.find("Key: " + Md5Hex("840265317" + std::string("Sh0p-s3cret")) + "\r\n"),
            std::string::npos)
      << login;
  say("Response: Success\r\nActionID: qelto-login\r\nMessage: Authentication accepted\r\n\r\n");
  const std::string listing = ReadRequest(client, pending);
  EXPECT_NE(listing.find("Action: CoreShowChannels\r\n"), std::string::npos) << listing;
  say(ChannelsInProgress(in_progress));
  return client;
}

TEST(WinPbxDriver, Md5HexGivesTheDigestOfRfc1321) {
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(WinPbxDriver, ReportsTheCallTheLossAndLogsInAgain) {
  WSADATA data{};
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(listener, 2), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string port = std::to_string(ntohs(address.sin_port));

  const std::string folder = QELTO_PBX_DRIVER_DIR;
  CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(WideFromUtf8(QELTO_SIM_DRIVER_PATH).c_str(),
                        WideFromUtf8(folder + "/POS_CIDR.dll").c_str(), FALSE));
  std::ofstream(folder + "/POS_CIDR.conf", std::ios::binary)
      << "raw_log = raw.txt\r\n[device]\r\nkind = pbx\r\nhost = 127.0.0.1\r\nport = " << port
      << "\r\nuser = qelto\r\nsecret = Sh0p-s3cret\r\nline = 4\r\ndid_line = 02155550001 = 5\r\n";
  // The driver keeps its file of reported calls in the process's folder, as in the recorder's;
  // one of an earlier run would hold this run's call.
  ASSERT_TRUE(SetCurrentDirectoryW(WideFromUtf8(folder).c_str()));
  DeleteFileW(WideFromUtf8(folder + "/pbx-calls-line-4.txt").c_str());
  SetEnvironmentVariableW(
      L"QELTO_CIDR_SIM_SOCKET",
      WideFromUtf8(R"(\\.\pipe\qelto-pbx-test-)" + std::to_string(GetCurrentProcessId())).c_str());
  ASSERT_EQ(LoadDriver(folder + "/POS_CIDR.dll"), "");
  ASSERT_NE(api.info, nullptr);
  ASSERT_NE(api.register_event, nullptr);
  observer.patience = 30s;
  ASSERT_EQ(api.register_event(OnEvent, kRegisterEventValue), 0);

  const std::u16string at = u"127.0.0.1:" + Widen(port);
  SOCKET client = AcceptAndLogIn(listener);
  ASSERT_NE(client, INVALID_SOCKET);
  ASSERT_TRUE(observer.WaitForText(u"SLine 4: pbx ready at " + at + u" as qelto"));
  const AmiChannel trunk{"PJSIP/provider-1", "from-trunk",   "02155550001",
                         "09121234567",      "1700000001.1", "1700000001.1"};
  const AmiChannel phone{"PJSIP/201-2", "from-internal", "201",
                         "09121234567", "1700000001.2",  "1700000001.1"};
  const std::string call = Newchannel(trunk) + Newchannel(phone) + DialBegin(trunk, phone) +
                           Hangup(phone) + Hangup(trunk);
  send(client, call.data(), static_cast<int>(call.size()), 0);
  ASSERT_TRUE(observer.WaitForText(u"C09121234567"));

  closesocket(client);
  EXPECT_TRUE(observer.WaitForText(u"SLine 4: pbx lost at " + at + u" (closed by the server)"));
  observer.Reset();
  // Back, with the call still in progress: it is not reported again.
  client = AcceptAndLogIn(listener, {AmiFields(trunk), AmiFields(phone)});
  ASSERT_NE(client, INVALID_SOCKET);
  EXPECT_TRUE(observer.WaitForText(u"SLine 4: pbx ready at " + at + u" as qelto"));
  EXPECT_EQ(api.register_event(nullptr, 0), 0);
  closesocket(client);
  closesocket(listener);

  int calls = 0;
  for (const SeenEvent& event : observer.Events()) calls += event.code > 0 ? 1 : 0;
  EXPECT_EQ(calls, 0);  // the call was not reported twice
  WSACleanup();

  // The raw data file, with the secret masked, as on Linux.
  std::ifstream file(folder + "/raw.txt", std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(raw.find(" line 4 # connected to 127.0.0.1:" + port + "\n"), std::string::npos) << raw;
  EXPECT_NE(raw.find(" line 4 > Action: Login\\r\\n"), std::string::npos) << raw;
  // The login's digest masked, wherever it is.
  EXPECT_NE(raw.find("Key: ********"), std::string::npos) << raw;
  EXPECT_EQ(raw.find("Key: "), raw.find("Key: ********")) << raw;
  EXPECT_EQ(raw.find("Sh0p-s3cret"), std::string::npos) << raw;
  EXPECT_NE(raw.find("CallerIDNum: 09121234567"), std::string::npos) << raw;
  // The call's key, kept where the next run finds it.
  std::ifstream reported(folder + "/pbx-calls-line-4.txt", std::ios::binary);
  const std::string keys((std::istreambuf_iterator<char>(reported)),
                         std::istreambuf_iterator<char>());
  EXPECT_NE(keys.find(" 1700000001.1\n"), std::string::npos) << keys;
}

}  // namespace
}  // namespace qelto::cidr
