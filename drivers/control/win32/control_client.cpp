#include "drivers/control/control_client.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <string_view>

#include "common/win32/system_error_text.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"
#include "drivers/control/line_splitter.h"
#include "drivers/driver_platform.h"
#include "drivers/win32/overlapped_io.h"

namespace qelto::cidr {
namespace {

// The whole exchange, the wait for a free pipe instance included. All instances may be taken by
// clients that say nothing, which the driver closes after its idle timeout; the patience is four
// times that, so the tool still gets through on a machine that is slow to run it.
constexpr std::chrono::seconds kPatience{4 * ControlChannel::kIdleClientTimeout};
constexpr std::size_t kMaxReplyLine = 4096;

using Clock = std::chrono::steady_clock;

ControlReply Broken(std::string problem) {
  ControlReply reply;
  reply.problem = std::move(problem);
  return reply;
}

DWORD MsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<DWORD>(left) : 0;
}

// How long one wait for a free instance lasts before the pipe is tried again. Under Wine a waiter
// is never woken when the driver closed every instance at once (its idle clients) and made the
// pipe anew, and for that moment the name does not exist: a single long wait would sleep through
// the free instance.
constexpr DWORD kWaitSliceMs = 250;
constexpr DWORD kGoneRetryMs = 20;

// Opens the pipe, waiting while every instance is taken. Null, with `error` set, when it
// cannot; WAIT_TIMEOUT when no instance came free in time.
UniqueHandle OpenPipe(const std::wstring& name, Clock::time_point deadline, DWORD& error) {
  bool seen = false;  // the pipe existed: a moment without it is the driver making it anew
  for (;;) {
    UniqueHandle pipe(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (pipe) return pipe;
    error = GetLastError();
    if (error != ERROR_PIPE_BUSY && !(seen && error == ERROR_FILE_NOT_FOUND)) return {};
    seen = true;
    const DWORD left = MsUntil(deadline);
    if (left == 0) {
      error = WAIT_TIMEOUT;
      return {};
    }
    // Returns when an instance is free, which another client may still take first: try again.
    if (!WaitNamedPipeW(name.c_str(), std::min(left, kWaitSliceMs)) &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
      Sleep(std::min(left, kGoneRetryMs));
    }
  }
}

// Reads reply lines until one begins with OK or ERROR, or the pipe ends.
ControlReply ReadReply(HANDLE pipe, HANDLE event, Clock::time_point deadline) {
  ControlReply reply;
  LineSplitter splitter(kMaxReplyLine);
  std::array<char, 4096> buffer{};
  for (;;) {
    const std::optional<DWORD> received = ReadWithin(
        pipe, buffer.data(), static_cast<DWORD>(buffer.size()), MsUntil(deadline), event);
    if (!received && GetLastError() == WAIT_TIMEOUT) {
      return Broken("no reply from the caller-ID simulator");
    }
    if (!received) return Broken("the caller-ID simulator closed the connection unanswered");
    if (!splitter.Append(std::string_view(buffer.data(), *received))) {
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
  const Clock::time_point deadline = Clock::now() + kPatience;
  DWORD error = ERROR_SUCCESS;
  const UniqueHandle pipe = OpenPipe(WideFromUtf8(path), deadline, error);
  if (!pipe) {
    if (error == WAIT_TIMEOUT) return Broken("no reply from the caller-ID simulator");
    ControlReply reply;
    reply.status = ControlReply::Status::kNoSimulator;
    reply.problem = "no running caller-ID simulator at " + path + ": is qelto-callerid running?";
    if (error != ERROR_FILE_NOT_FOUND) reply.problem += " (" + SystemErrorText(error) + ")";
    return reply;
  }
  const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event)
    return Broken("cannot wait for the caller-ID simulator: " + SystemErrorText(GetLastError()));
  const std::string request = line + '\n';
  const std::optional<DWORD> sent =
      WriteWithin(pipe.get(), request.data(), static_cast<DWORD>(request.size()), MsUntil(deadline),
                  event.get());
  if (!sent || *sent != request.size()) {
    return Broken("cannot send to " + path + ": " + SystemErrorText(GetLastError()));
  }
  return ReadReply(pipe.get(), event.get(), deadline);
}

}  // namespace qelto::cidr
