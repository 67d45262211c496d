#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "drivers/posix/unique_fd.h"

namespace qelto::cidr::testing_support {

// A telephone system's manager interface on 127.0.0.1, for the tests and for trying the driver
// by hand: it greets each client, answers Challenge (MD5), Login (with the key or the secret),
// Ping, CoreShowChannels (the channels the test says are in progress) and Logoff as Asterisk does,
// and sends whatever the test gives it to the logged-in client.
// One client at a time; a new one replaces the old. Destroying it is the system switched off;
// a new one on the same port is the system back.
class FakeAmiServer {
 public:
  // Listens on `port` (0: any free one; one another program holds is waited for, up to 30 s).
  // Check problem() afterwards.
  FakeAmiServer(std::string user, std::string secret, int port = 0);
  ~FakeAmiServer();
  FakeAmiServer(const FakeAmiServer&) = delete;
  FakeAmiServer& operator=(const FakeAmiServer&) = delete;

  const std::string& problem() const { return problem_; }
  int port() const { return port_; }
  // Waits (at most `patience`) until `count` logins have succeeded since the start, and the
  // driver has asked for the calls in progress after each (so that what is sent next comes
  // after that answer, and nothing of the driver's is left unread when the server goes).
  bool WaitForLogins(int count, std::chrono::seconds patience);
  int refused_logins();
  int logins();
  // Sends `bytes` to the logged-in client; false when none is logged in.
  bool Send(std::string_view bytes);
  // The channels CoreShowChannels lists from now on, each as the fields of its CoreShowChannel
  // event (AmiFields); `refuse`: answered "Permission denied", as for a user without
  // write = reporting.
  void SetChannelsInProgress(std::vector<std::string> channels, bool refuse = false);
  // How many CoreShowChannels were asked for.
  int listings();

 private:
  void Run();
  void Accept();
  // Answers the client's complete requests; false when it is to be closed.
  bool Serve(std::string_view bytes);
  enum class Outcome { kNone, kLoggedIn, kRefused, kListed, kClose };
  std::string Answer(std::string_view request, Outcome& outcome);
  void Write(std::string_view bytes);

  std::string user_;
  std::string secret_;
  std::string problem_;
  int port_ = 0;
  UniqueFd listener_;
  UniqueFd wake_read_;
  UniqueFd wake_write_;
  std::mutex mutex_;
  std::condition_variable changed_;
  UniqueFd client_;  // under mutex_ for writes; replaced by the server's thread only
  std::string received_;
  std::string challenge_;
  bool logged_in_ = false;
  int logins_ = 0;
  int refused_ = 0;
  std::vector<std::string> channels_;  // under mutex_
  bool refuse_listing_ = false;        // under mutex_
  int listings_ = 0;                   // under mutex_
  std::thread thread_;
};

}  // namespace qelto::cidr::testing_support
