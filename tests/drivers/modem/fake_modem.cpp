#include "fake_modem.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace qelto::cidr::testing_support {
namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 20s;

std::string ErrnoText(const char* what) {
  return std::string(what) + ": " + std::generic_category().message(errno);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

FakeModem::Answers FakeModem::VcidModem() {
  return {{"AT", "OK"}, {"ATZ", "OK"}, {"AT+VCID=1", "OK"}, {"ATE0V1", "OK"}};
}

FakeModem::Answers FakeModem::CidModem() {
  return {{"AT", "OK"}, {"ATZ", "OK"}, {"AT#CID=1", "OK"}, {"ATE0V1", "OK"}};
}

FakeModem::FakeModem(std::string link, Answers answers)
    : link_(std::move(link)), answers_(std::move(answers)) {
  master_.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  std::array<char, 128> name{};
  if (!master_.valid() || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0 ||
      ::ptsname_r(master_.get(), name.data(), name.size()) != 0) {
    problem_ = ErrnoText("pseudo-terminal");
    return;
  }
  slave_.Reset(::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  termios raw{};
  // Raw from the start: no echo by the line discipline before the driver has set the port up.
  if (!slave_.valid() || ::tcgetattr(slave_.get(), &raw) != 0) {
    problem_ = ErrnoText(name.data());
    return;
  }
  ::cfmakeraw(&raw);
  ::tcsetattr(slave_.get(), TCSANOW, &raw);
  const std::string temporary = link_ + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(name.data(), temporary.c_str()) != 0 ||
      ::rename(temporary.c_str(), link_.c_str()) != 0) {
    problem_ = ErrnoText(link_.c_str());
    return;
  }
  std::array<int, 2> pipe_fds{};
  if (::pipe2(pipe_fds.data(), O_CLOEXEC) != 0) {
    problem_ = ErrnoText("pipe2");
    return;
  }
  wake_read_.Reset(pipe_fds[0]);
  wake_write_.Reset(pipe_fds[1]);
  thread_ = std::thread([this] { Run(); });
}

FakeModem::~FakeModem() {
  Unplug();
}

void FakeModem::Send(std::string_view bytes) {
  std::lock_guard lock(write_mutex_);
  WriteAll(master_.get(), bytes);
}

std::vector<std::string> FakeModem::WaitForCommands(std::size_t count) {
  std::unique_lock lock(mutex_);
  received_.wait_for(lock, kPatience, [&] { return commands_.size() >= count; });
  return commands_;
}

void FakeModem::Unplug() {
  if (thread_.joinable()) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_write_.get(), &byte, 1);
    thread_.join();
  }
  if (master_.valid()) ::unlink(link_.c_str());
  slave_.Reset();
  master_.Reset();
}

void FakeModem::Run() {
  std::string partial;
  std::array<char, 4096> buffer{};
  for (;;) {
    std::array<pollfd, 2> polled{{{master_.get(), POLLIN, 0}, {wake_read_.get(), POLLIN, 0}}};
    if (::poll(polled.data(), polled.size(), -1) < 0 && errno != EINTR) return;
    if (polled[1].revents != 0) return;
    if (polled[0].revents == 0) continue;
    const ssize_t received = ::read(master_.get(), buffer.data(), buffer.size());
    if (received <= 0) return;
    for (const char c : std::string_view(buffer.data(), static_cast<std::size_t>(received))) {
      if (c != '\r') {
        partial += c;
        continue;
      }
      Answer(partial);
      partial.clear();
    }
  }
}

void FakeModem::GoDeaf(std::size_t commands) {
  std::lock_guard lock(mutex_);
  deaf_for_ = commands;
}

void FakeModem::Answer(const std::string& command) {
  const auto known = answers_.find(command);
  const std::string result = known != answers_.end() ? known->second : "ERROR";
  bool deaf = false;
  {
    std::lock_guard lock(mutex_);
    deaf = deaf_for_ > 0;
    if (deaf) --deaf_for_;
  }
  if (!deaf) {
    std::lock_guard lock(write_mutex_);
    WriteAll(master_.get(), command + "\r\r\n" + result + "\r\n");
  }
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(command);
  }
  received_.notify_all();
}

}  // namespace qelto::cidr::testing_support
