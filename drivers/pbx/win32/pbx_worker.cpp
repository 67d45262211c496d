#include "drivers/pbx/win32/pbx_worker.h"

#include <ws2tcpip.h>

#include <array>
#include <exception>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

#include "common/win32/system_error_text.h"
#include "drivers/pbx/md5.h"
#include "drivers/pbx/win32/system_resolver.h"

namespace qelto::sim {
namespace {

constexpr std::chrono::milliseconds kConnectTimeout{5000};
constexpr std::chrono::milliseconds kWriteTimeout{2000};

PbxDevice::TimePoint Now() {
  return std::chrono::steady_clock::now();
}

DWORD WaitTimeout(std::optional<PbxDevice::TimePoint> deadline) {
  if (!deadline) return 60'000;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Now()).count();
  if (left <= 0) return 0;
  return left > 60'000 ? 60'000 : static_cast<DWORD>(left);
}

std::string SocketErrorText(int code) {
  return SystemErrorText(static_cast<std::uint32_t>(code));
}

// Owns one socket.
class UniqueSocket {
 public:
  explicit UniqueSocket(SOCKET sock) : sock_(sock) {}
  ~UniqueSocket() {
    if (sock_ != INVALID_SOCKET) closesocket(sock_);
  }
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;
  SOCKET get() const { return sock_; }

 private:
  SOCKET sock_;
};

}  // namespace

PbxWorker::PbxWorker(std::uint64_t generation, std::size_t device, DeviceConfig config,
                     RawLog* raw_log, ModemSink& sink, std::shared_ptr<HostResolver> resolver,
                     DetachedStart start)
    : generation_(generation),
      device_(device),
      config_(std::move(config)),
      raw_log_(raw_log),
      sink_(sink),
      resolver_(resolver ? std::move(resolver) : SystemHostResolver()),
      start_(start ? std::move(start) : DetachedStart(&StartDetachedThread)) {
  WSADATA data{};
  const int started = WSAStartup(MAKEWORD(2, 2), &data);
  if (started != 0) throw std::system_error(started, std::system_category(), "WSAStartup");
  winsock_ = true;
  stop_event_ = UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  socket_event_ = UniqueHandle(WSACreateEvent());
  if (!stop_event_ || !socket_event_) {
    const DWORD error = GetLastError();
    WSACleanup();
    throw std::system_error(static_cast<int>(error), std::system_category(), "CreateEvent");
  }
  thread_ = std::thread([this] { Run(); });
}

PbxWorker::~PbxWorker() {
  SetEvent(stop_event_.get());
  if (thread_.joinable()) thread_.join();
  if (winsock_) WSACleanup();
}

bool PbxWorker::Stopping() const {
  return WaitForSingleObject(stop_event_.get(), 0) == WAIT_OBJECT_0;
}

void PbxWorker::Run() {
  PbxDevice device(config_.line, config_.pbx, &Md5Hex);
  try {
    OpenReportedCalls(device);
  } catch (const std::exception&) {
    // Out of memory: the calls are remembered while this process runs only.
  }
  while (!Stopping()) {
    try {
      ConnectAndServe(device);
    } catch (const std::exception&) {
      // Out of memory: the socket is closed again (RAII); try again later rather than end the
      // recorder's process, which an exception leaving the thread would do.
    }
    if (refused_) {
      WaitForSingleObject(stop_event_.get(), INFINITE);
      return;
    }
    const auto pause = std::chrono::milliseconds(device.RetryDelay());
    if (WaitForSingleObject(stop_event_.get(), static_cast<DWORD>(pause.count())) != WAIT_TIMEOUT) {
      return;
    }
  }
}

void PbxWorker::ConnectAndServe(PbxDevice& device) {
  const std::optional<HostLookupResult> found = LookUpHost(
      resolver_, config_.pbx.host, config_.pbx.port, start_, [this] { return Stopping(); });
  if (!found) return;  // stopping
  if (found->addresses.empty()) {
    Report(device, device.OnConnectFailed("cannot find the host: " + found->error).events);
    return;
  }
  if (!sink_.OnPbxResolved(generation_, device_, NumericAddresses(*found))) {
    refused_ = true;
    return;
  }
  std::string why = "no address";
  for (const HostAddress& address : found->addresses) {
    UniqueSocket sock(socket(address.family, address.socktype, address.protocol));
    if (sock.get() == INVALID_SOCKET) {
      why = SocketErrorText(WSAGetLastError());
      continue;
    }
    why = Connect(sock.get(), reinterpret_cast<const sockaddr*>(address.sockaddr.data()),
                  static_cast<int>(address.sockaddr.size()));
    if (why == "stop") return;
    if (!why.empty()) continue;
    Raw(RawDirection::kNote, "connected to " + device.address());
    why = Serve(sock.get(), device);
    Raw(RawDirection::kNote, "closed: " + why);
    return;
  }
  Report(device, device.OnConnectFailed(why).events);
}

std::string PbxWorker::Connect(SOCKET sock, const sockaddr* address, int length) {
  WSAResetEvent(socket_event_.get());
  if (WSAEventSelect(sock, socket_event_.get(), FD_CONNECT | FD_READ | FD_CLOSE) != 0) {
    return SocketErrorText(WSAGetLastError());
  }
  const BOOL on = TRUE;  // the manager's messages are small and want to go out at once
  setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
  if (connect(sock, address, length) == 0) return {};
  if (WSAGetLastError() != WSAEWOULDBLOCK) return SocketErrorText(WSAGetLastError());
  const std::array<HANDLE, 2> handles{stop_event_.get(), socket_event_.get()};
  const DWORD waited = WaitForMultipleObjects(handles.size(), handles.data(), FALSE,
                                              static_cast<DWORD>(kConnectTimeout.count()));
  if (waited == WAIT_OBJECT_0) return "stop";
  if (waited == WAIT_TIMEOUT) return SocketErrorText(WSAETIMEDOUT);
  WSANETWORKEVENTS events{};
  if (WSAEnumNetworkEvents(sock, socket_event_.get(), &events) != 0) {
    return SocketErrorText(WSAGetLastError());
  }
  if ((events.lNetworkEvents & FD_CONNECT) == 0) return "no answer";
  const int error = events.iErrorCode[FD_CONNECT_BIT];
  return error == 0 ? std::string() : SocketErrorText(error);
}

std::string PbxWorker::Serve(SOCKET sock, PbxDevice& device) {
  std::string why;
  if (!Apply(device.OnConnected(Now()), sock, device, why)) return why;
  // Data may have come with the connection already: read before the first wait.
  if (!ReadSocket(sock, device, why)) return why;
  const std::array<HANDLE, 2> handles{stop_event_.get(), socket_event_.get()};
  for (;;) {
    const DWORD waited = WaitForMultipleObjects(handles.size(), handles.data(), FALSE,
                                                WaitTimeout(device.Deadline()));
    if (waited == WAIT_OBJECT_0) return "the driver stopped";
    if (waited == WAIT_OBJECT_0 + 1) {
      WSANETWORKEVENTS events{};
      WSAEnumNetworkEvents(sock, socket_event_.get(), &events);
      if (!ReadSocket(sock, device, why)) return why;
    } else if (waited == WAIT_FAILED) {
      why = SystemErrorText(GetLastError());
      Report(device, device.OnLost(why).events);
      return why;
    }
    if (!Apply(device.OnTime(Now()), sock, device, why)) return why;
  }
}

bool PbxWorker::Apply(const PbxStep& step, SOCKET sock, PbxDevice& device, std::string& why) {
  // Kept before they are handed on: a recorder restarted now does not take them again.
  if (reported_calls_ && !step.remember.empty()) reported_calls_->Keep(step.remember);
  Report(device, step.events);
  if (step.close) {
    why = step.why;
    return false;
  }
  if (!step.send.empty()) Raw(RawDirection::kSent, step.send_shown);
  std::string_view rest = step.send;
  const auto give_up = Now() + kWriteTimeout;
  while (!rest.empty()) {
    const int sent = send(sock, rest.data(), static_cast<int>(rest.size()), 0);
    if (sent > 0) {
      rest.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    const int error = WSAGetLastError();
    if (sent < 0 && error == WSAEWOULDBLOCK && Now() < give_up) {
      Sleep(10);  // the requests are a few hundred bytes: room comes at once or never
      continue;
    }
    why = error == WSAEWOULDBLOCK ? "the server takes no more data" : SocketErrorText(error);
    Report(device, device.OnLost(why).events);
    return false;
  }
  return true;
}

// Reads all the socket has; false, with `why` set, when the connection ended.
bool PbxWorker::ReadSocket(SOCKET sock, PbxDevice& device, std::string& why) {
  std::array<char, 16384> buffer{};
  for (;;) {
    const int received = recv(sock, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (received > 0) {
      const std::string_view bytes(buffer.data(), static_cast<std::size_t>(received));
      Raw(RawDirection::kRead, bytes);
      if (!Apply(device.OnBytes(bytes, Now()), sock, device, why)) return false;
      continue;
    }
    if (received < 0 && WSAGetLastError() == WSAEWOULDBLOCK) return true;
    why = received == 0 ? "closed by the server" : SocketErrorText(WSAGetLastError());
    Report(device, device.OnLost(why).events);
    return false;
  }
}

void PbxWorker::OpenReportedCalls(PbxDevice& device) {
  std::string problem;
  reported_calls_ = std::make_unique<ReportedCallsFile>(ReportedCallsFileName(config_.line),
                                                        SecondsSince1970(), problem);
  device.Remembered(reported_calls_->keys());
  if (!problem.empty()) Report(device, device.OnCallsFileProblem(problem).events);
}

void PbxWorker::Report(const PbxDevice& device, std::vector<DriverEvent> events) {
  if (events.empty() && device.connected() == reported_connected_) return;
  reported_connected_ = device.connected();
  sink_.OnModemReport(generation_, device_, device.connected(), std::move(events));
}

void PbxWorker::Raw(RawDirection direction, std::string_view bytes) {
  if (raw_log_ != nullptr) raw_log_->Write(config_.line, direction, bytes);
}

}  // namespace qelto::sim
