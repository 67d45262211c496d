#include "drivers/control/win32/named_pipe_session.h"

#include <algorithm>
#include <system_error>

#include "common/win32/system_error_text.h"
#include "common/win32/wide_text.h"
#include "drivers/win32/overlapped_io.h"

namespace qelto::cidr {
namespace {

constexpr DWORD kPipeBufferBytes = 4096;
// A client that leaves a reply unread this long is dropped, as one whose socket is full.
constexpr DWORD kReplyTimeoutMs = 1000;
// How soon a pipe instance that could not be made is tried again. Windows refuses one while the
// instances of closed clients still count against the limit (their other ends still open): with
// no client left to wake the loop, nobody could connect again.
constexpr DWORD kListenRetryMs = 200;

UniqueHandle MakeEvent(bool manual_reset) {
  UniqueHandle event(CreateEventW(nullptr, manual_reset, FALSE, nullptr));
  if (!event)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateEvent");
  return event;
}

std::string PipeProblem(const std::string& name, DWORD error) {
  // FILE_FLAG_FIRST_PIPE_INSTANCE fails this way when the pipe exists already (Wine says busy).
  if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY) {
    return name + ": in use by another program";
  }
  return name + ": " + SystemErrorText(error);
}

}  // namespace

NamedPipeSession::Instance::~Instance() {
  if (busy && pipe) CancelAndWait(pipe.get(), overlapped);
}

NamedPipeSession::NamedPipeSession(const std::string& pipe_name, const std::string& user_sid,
                                   SessionHandler& handler, std::string& problem)
    : handler_(handler),
      pipe_name_(WideFromUtf8(pipe_name)),
      security_(user_sid),
      wake_(MakeEvent(true)),
      write_event_(MakeEvent(true)) {
  if (!pipe_name.empty()) {
    DWORD error = ERROR_SUCCESS;
    if (!security_.valid()) {
      problem = pipe_name + ": the current user's identity is unknown";
    } else if (listener_ = Listen(true, error); !listener_) {
      problem = PipeProblem(pipe_name, error);
    }
    if (!problem.empty()) pipe_name_.clear();
  }
  thread_ = std::thread([this] {
    try {
      Run();
    } catch (const std::exception&) {
      // Out of memory: the channel falls silent rather than ending the recorder.
    }
    // Every instance closed here, on the thread's way out: then the pipe is gone.
    connections_.clear();
    listener_.reset();
  });
  thread_id_ = thread_.get_id();
}

NamedPipeSession::~NamedPipeSession() {
  RequestStop();
  if (!thread_.joinable()) return;
  // Only reachable when the process exits from inside a callback: a thread cannot join itself.
  if (IsChannelThread()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

void NamedPipeSession::Wake() {
  SetEvent(wake_.get());
}

void NamedPipeSession::RequestStop() {
  stop_ = true;
  Wake();
}

NamedPipeSession::InstancePtr NamedPipeSession::Listen(bool first, DWORD& error) {
  auto instance = std::make_unique<Instance>();
  SECURITY_ATTRIBUTES attributes = security_.Attributes();
  instance->pipe = UniqueHandle(CreateNamedPipeW(
      pipe_name_.c_str(),
      PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
      static_cast<DWORD>(kMaxClients), kPipeBufferBytes, kPipeBufferBytes, 0, &attributes));
  if (!instance->pipe) {
    error = GetLastError();
    return nullptr;
  }
  instance->event = UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!instance->event) {
    error = GetLastError();
    return nullptr;
  }
  instance->overlapped.hEvent = instance->event.get();
  if (ConnectNamedPipe(instance->pipe.get(), &instance->overlapped)) {
    instance->busy = true;  // completed already; its result is taken as for a pending one
    return instance;
  }
  error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    instance->busy = true;
  } else if (error == ERROR_PIPE_CONNECTED) {
    // A client came between the two calls: no operation runs, the event marks it connected.
    SetEvent(instance->event.get());
  } else {
    return nullptr;
  }
  return instance;
}

void NamedPipeSession::ListenIfRoom() {
  if (listener_ || pipe_name_.empty() || connections_.size() >= kMaxClients) return;
  DWORD error = ERROR_SUCCESS;
  listener_ = Listen(false, error);  // retried at the next turn when it fails
}

void NamedPipeSession::Run() {
  std::vector<HANDLE> handles;
  while (!stop_) {
    ListenIfRoom();
    handles.assign({wake_.get()});
    for (const InstancePtr& connection : connections_) handles.push_back(connection->event.get());
    if (listener_) handles.push_back(listener_->event.get());
    const DWORD waited = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                                FALSE, WaitTimeoutMs());
    if (waited == WAIT_FAILED) return;  // cannot wait any more; spinning would be worse
    // The wake event first, then the clients in the order of `connections_`, then the
    // listener: every one that is ready, not only the first the wait names.
    if (WaitForSingleObject(wake_.get(), 0) == WAIT_OBJECT_0) {
      ResetEvent(wake_.get());  // before the work is looked at, so no later Wake() is lost
      if (stop_) return;
      handler_.OnWake();
      if (stop_) return;  // the callback may have withdrawn: serve no further commands
    }
    // Backwards, so erasing a finished client leaves the indexes still to visit in place.
    for (std::size_t i = connections_.size(); i-- > 0;) {
      if (WaitForSingleObject(connections_[i]->event.get(), 0) != WAIT_OBJECT_0) continue;
      if (!Serve(*connections_[i])) connections_.erase(connections_.begin() + i);
      if (stop_) return;
    }
    CloseIdleClients();
    if (listener_ && WaitForSingleObject(listener_->event.get(), 0) == WAIT_OBJECT_0) Accept();
  }
}

void NamedPipeSession::Accept() {
  InstancePtr client = std::move(listener_);
  DWORD ignored = 0;
  const bool connected = !client->busy || GetOverlappedResult(client->pipe.get(),
                                                              &client->overlapped, &ignored, FALSE);
  client->busy = false;
  if (!connected) return;  // the client left before it was taken: close the instance
  client->last_heard = SteadyClock::now();
  if (StartRead(*client)) connections_.push_back(std::move(client));
}

bool NamedPipeSession::StartRead(Instance& connection) {
  connection.overlapped = OVERLAPPED{};
  connection.overlapped.hEvent = connection.event.get();
  if (!ReadFile(connection.pipe.get(), connection.buffer.data(),
                static_cast<DWORD>(connection.buffer.size()), nullptr, &connection.overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;  // the client is gone
  }
  connection.busy = true;  // a read that completed at once is taken like a pending one
  return true;
}

bool NamedPipeSession::Serve(Instance& connection) {
  DWORD received = 0;
  const bool read =
      GetOverlappedResult(connection.pipe.get(), &connection.overlapped, &received, FALSE) != 0;
  connection.busy = false;
  // A client that closed its end: without a half-close, a last line without its LF was never
  // meant to be answered, since nobody is there to read the answer.
  if (!read) return false;
  connection.last_heard = SteadyClock::now();
  if (!connection.lines.Append(std::string_view(connection.buffer.data(), received))) {
    constexpr std::string_view kTooLong = "ERROR line too long\n";
    WriteWithin(connection.pipe.get(), kTooLong.data(), static_cast<DWORD>(kTooLong.size()),
                kReplyTimeoutMs, write_event_.get());
    return false;
  }
  while (std::optional<std::string> line = connection.lines.NextLine()) {
    if (!Answer(connection, *line) || stop_) return false;
  }
  return StartRead(connection);
}

bool NamedPipeSession::Answer(Instance& connection, std::string_view line) {
  std::string reply;
  for (const std::string& reply_line : handler_.OnLine(line)) reply += reply_line + '\n';
  const std::optional<DWORD> written =
      WriteWithin(connection.pipe.get(), reply.data(), static_cast<DWORD>(reply.size()),
                  kReplyTimeoutMs, write_event_.get());
  return written && *written == reply.size();
}

DWORD NamedPipeSession::WaitTimeoutMs() const {
  const bool listenAgain = !listener_ && !pipe_name_.empty() && connections_.size() < kMaxClients;
  if (connections_.empty()) return listenAgain ? kListenRetryMs : INFINITE;
  const auto oldest = std::min_element(
      connections_.begin(), connections_.end(),
      [](const InstancePtr& a, const InstancePtr& b) { return a->last_heard < b->last_heard; });
  const auto left = (*oldest)->last_heard + kIdleClientTimeout - SteadyClock::now();
  // Rounded up, so the wait never ends just short of the moment and spins.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  const auto idleMs = std::clamp<decltype(ms)>(ms, 0, kIdleClientTimeout.count() * 1000);
  return static_cast<DWORD>(listenAgain ? std::min<decltype(ms)>(idleMs, kListenRetryMs) : idleMs);
}

void NamedPipeSession::CloseIdleClients() {
  const SteadyClock::time_point now = SteadyClock::now();
  std::erase_if(connections_, [&](const InstancePtr& connection) {
    return now - connection->last_heard >= kIdleClientTimeout;
  });
}

}  // namespace qelto::cidr
