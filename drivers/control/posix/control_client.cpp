#include "drivers/control/control_client.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <array>
#include <cerrno>
#include <string_view>
#include <system_error>

#include "drivers/control/line_splitter.h"
#include "drivers/control/posix/unix_socket.h"
#include "drivers/posix/unique_fd.h"

namespace qelto::cidr {
namespace {

constexpr time_t kReplyTimeoutSeconds = 10;
constexpr std::size_t kMaxReplyLine = 4096;

ControlReply Broken(std::string problem) {
  ControlReply reply;
  reply.problem = std::move(problem);
  return reply;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Reads reply lines until one begins with OK or ERROR, or the stream ends.
ControlReply ReadReply(int fd) {
  ControlReply reply;
  LineSplitter splitter(kMaxReplyLine);
  std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t received = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (received < 0 && errno == EINTR) continue;
    if (received < 0) return Broken("no reply from the caller-ID simulator");
    if (received == 0) return Broken("the caller-ID simulator closed the connection unanswered");
    if (!splitter.Append(std::string_view(buffer.data(), static_cast<std::size_t>(received)))) {
      return Broken("the caller-ID simulator sent an overlong line");
    }
    while (std::optional<std::string> line = splitter.NextLine()) {
      reply.lines.push_back(*line);
      if (line->starts_with("OK")) reply.status = ControlReply::Status::kOk;
      if (line->starts_with("ERROR")) reply.status = ControlReply::Status::kError;
      if (reply.status != ControlReply::Status::kBroken) return reply;
    }
  }
}

}  // namespace

ControlReply SendControlCommand(const std::string& path, const std::string& line) {
  const UniqueFd fd = ConnectUnixSocket(path);
  if (!fd.valid()) {
    ControlReply reply;
    reply.status = ControlReply::Status::kNoSimulator;
    reply.problem = "no running caller-ID simulator at " + path + ": is qelto-callerid running?";
    return reply;
  }
  const timeval timeout{kReplyTimeoutSeconds, 0};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  if (!SendAll(fd.get(), line + '\n')) {
    return Broken("cannot send to " + path + ": " + std::generic_category().message(errno));
  }
  ::shutdown(fd.get(), SHUT_WR);
  return ReadReply(fd.get());
}

}  // namespace qelto::cidr
