#include "fake_ami_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "drivers/pbx/md5.h"

namespace qelto::cidr::testing_support {
namespace {

constexpr char kChallenge[] = "840265317";
// The system back on its own port: another program may have taken that port while it was off.
// It is tried again until free, for up to 30 s.
constexpr int kBindAttempts = 300;
constexpr std::chrono::milliseconds kBindPause{100};

bool BindWhenFree(int fd, const sockaddr_in& address) {
  for (int attempt = 1;; ++attempt) {
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) return true;
    if (errno != EADDRINUSE || address.sin_port == 0 || attempt == kBindAttempts) return false;
    std::this_thread::sleep_for(kBindPause);
  }
}

// The value of `key` in one request, or empty.
std::string Field(std::string_view request, std::string_view key) {
  std::size_t at = 0;
  while (at < request.size()) {
    const std::size_t end = std::min(request.find('\n', at), request.size());
    std::string_view line = request.substr(at, end - at);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && line.substr(0, colon) == key) {
      std::string_view value = line.substr(colon + 1);
      while (value.starts_with(' ')) value.remove_prefix(1);
      return std::string(value);
    }
    at = end + 1;
  }
  return {};
}

std::string Reply(std::string_view id, const std::string& fields) {
  std::string text = fields.substr(0, fields.find("\r\n") + 2);
  if (!id.empty()) text += "ActionID: " + std::string(id) + "\r\n";
  return text + fields.substr(fields.find("\r\n") + 2) + "\r\n";
}

}  // namespace

FakeAmiServer::FakeAmiServer(std::string user, std::string secret, int port)
    : user_(std::move(user)), secret_(std::move(secret)) {
  listener_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int on = 1;
  ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t length = sizeof(address);
  std::array<int, 2> pipe_fds{};
  if (!listener_.valid() || !BindWhenFree(listener_.get(), address) ||
      ::listen(listener_.get(), 4) != 0 ||
      ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe2(pipe_fds.data(), O_CLOEXEC) != 0) {
    problem_ = std::strerror(errno);
    return;
  }
  port_ = ntohs(address.sin_port);
  wake_read_.Reset(pipe_fds[0]);
  wake_write_.Reset(pipe_fds[1]);
  thread_ = std::thread([this] { Run(); });
}

FakeAmiServer::~FakeAmiServer() {
  if (thread_.joinable()) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_write_.get(), &byte, 1);
    thread_.join();
  }
}

bool FakeAmiServer::WaitForLogins(int count, std::chrono::seconds patience) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, patience, [&] { return logins_ >= count && listings_ >= count; });
}

int FakeAmiServer::logins() {
  std::lock_guard lock(mutex_);
  return logins_;
}

int FakeAmiServer::refused_logins() {
  std::lock_guard lock(mutex_);
  return refused_;
}

bool FakeAmiServer::Send(std::string_view bytes) {
  std::lock_guard lock(mutex_);
  if (!logged_in_ || !client_.valid()) return false;
  Write(bytes);
  return true;
}

void FakeAmiServer::SetChannelsInProgress(std::vector<std::string> channels, bool refuse) {
  std::lock_guard lock(mutex_);
  channels_ = std::move(channels);
  refuse_listing_ = refuse;
}

int FakeAmiServer::listings() {
  std::lock_guard lock(mutex_);
  return listings_;
}

void FakeAmiServer::Run() {
  for (;;) {
    std::vector<pollfd> polled{{wake_read_.get(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
    if (client_.valid()) polled.push_back({client_.get(), POLLIN, 0});
    if (::poll(polled.data(), polled.size(), -1) < 0 && errno != EINTR) return;
    if (polled[0].revents != 0) return;
    if (polled[1].revents != 0) Accept();
    if (polled.size() < 3 || polled[2].revents == 0) continue;
    std::array<char, 4096> buffer{};
    const ssize_t received = ::recv(client_.get(), buffer.data(), buffer.size(), 0);
    if (received <= 0 || !Serve({buffer.data(), static_cast<std::size_t>(received)})) {
      std::lock_guard lock(mutex_);
      client_.Reset();
      logged_in_ = false;
    }
  }
}

void FakeAmiServer::Accept() {
  UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!client.valid()) return;
  std::lock_guard lock(mutex_);
  client_ = std::move(client);
  received_.clear();
  logged_in_ = false;
  Write("Asterisk Call Manager/5.0.1\r\n");
}

bool FakeAmiServer::Serve(std::string_view bytes) {
  received_ += bytes;
  for (std::size_t end = received_.find("\r\n\r\n"); end != std::string::npos;
       end = received_.find("\r\n\r\n")) {
    const std::string request = received_.substr(0, end + 2);
    received_.erase(0, end + 4);
    Outcome outcome = Outcome::kNone;
    const std::string answer = Answer(request, outcome);
    std::lock_guard lock(mutex_);
    Write(answer);
    if (outcome == Outcome::kClose) return false;
    // Counted once the answer is out, so that what a test sends next comes after it.
    if (outcome == Outcome::kLoggedIn) {
      logged_in_ = true;
      ++logins_;
    }
    if (outcome == Outcome::kRefused) ++refused_;
    if (outcome == Outcome::kListed) ++listings_;
    changed_.notify_all();
  }
  return true;
}

std::string FakeAmiServer::Answer(std::string_view request, Outcome& outcome) {
  const std::string action = Field(request, "Action");
  const std::string id = Field(request, "ActionID");
  if (action == "Challenge") {
    challenge_ = kChallenge;
    return Reply(id, "Response: Success\r\nChallenge: " + challenge_ + "\r\n");
  }
  if (action == "Login") {
    const bool md5 = Field(request, "AuthType") == "MD5";
    const bool good =
        Field(request, "Username") == user_ &&
        (md5 ? !challenge_.empty() && Field(request, "Key") == Md5Hex(challenge_ + secret_)
             : Field(request, "Secret") == secret_);
    if (!good) {
      outcome = Outcome::kRefused;
      return Reply(id, "Response: Error\r\nMessage: Authentication failed\r\n");
    }
    outcome = Outcome::kLoggedIn;
    return Reply(id, "Response: Success\r\nMessage: Authentication accepted\r\n") +
           "Event: FullyBooted\r\nPrivilege: system,all\r\nStatus: Fully Booted\r\n\r\n";
  }
  if (action == "CoreShowChannels") {
    std::lock_guard lock(mutex_);
    outcome = Outcome::kListed;
    if (refuse_listing_) return Reply(id, "Response: Error\r\nMessage: Permission denied\r\n");
    std::string text =
        Reply(id, "Response: Success\r\nEventList: start\r\nMessage: Channels will follow\r\n");
    for (const std::string& fields : channels_) {
      text += Reply(id, "Event: CoreShowChannel\r\n" + fields);
    }
    return text + Reply(id,
                        "Event: CoreShowChannelsComplete\r\nEventList: Complete\r\n"
                        "ListItems: " +
                            std::to_string(channels_.size()) + "\r\n");
  }
  if (action == "Ping") return Reply(id, "Response: Success\r\nPing: Pong\r\nTimestamp: 1.0\r\n");
  if (action == "Logoff") {
    outcome = Outcome::kClose;
    return Reply(id, "Response: Goodbye\r\nMessage: Thanks for all the fish.\r\n");
  }
  return Reply(id, "Response: Error\r\nMessage: Invalid/unknown command\r\n");
}

// Requires mutex_.
void FakeAmiServer::Write(std::string_view bytes) {
  while (!bytes.empty() && client_.valid()) {
    const ssize_t sent = ::send(client_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

}  // namespace qelto::cidr::testing_support
