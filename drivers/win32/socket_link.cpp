// Winsock's header must come before any <windows.h>, which the others bring.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "drivers/win32/socket_link.h"

#include <array>
#include <chrono>
#include <string>
#include <system_error>
#include <utility>

#include "common/win32/system_error_text.h"

namespace qelto::cidr {
namespace {

constexpr DWORD kConnectTimeoutMs = 5000;
constexpr std::chrono::milliseconds kWriteTimeout{2000};

std::string SocketErrorText(int code) {
  return SystemErrorText(static_cast<std::uint32_t>(code));
}

// Owns one socket and the event it is selected on.
class SocketLink final : public DeviceLink {
 public:
  SocketLink(SOCKET sock, const EventWaiter& waiter)
      : sock_(sock), event_(WSACreateEvent()), waiter_(waiter) {
    if (!event_) {
      closesocket(sock_);
      throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                              "WSACreateEvent");
    }
  }
  ~SocketLink() override { closesocket(sock_); }
  SocketLink(const SocketLink&) = delete;
  SocketLink& operator=(const SocketLink&) = delete;

  // "" when made, else why not; nullopt when the runner is stopping.
  std::optional<std::string> Connect(const sockaddr* address, int length) {
    if (WSAEventSelect(sock_, event_.get(), FD_CONNECT | FD_READ | FD_CLOSE) != 0) {
      return SocketErrorText(WSAGetLastError());
    }
    const BOOL on = TRUE;  // the manager's messages are small and want to go out at once
    setsockopt(sock_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
    if (connect(sock_, address, length) == 0) return std::string();
    if (WSAGetLastError() != WSAEWOULDBLOCK) return SocketErrorText(WSAGetLastError());
    const DWORD waited = Wait(kConnectTimeoutMs);
    if (waited == WAIT_OBJECT_0) return std::nullopt;
    if (waited == WAIT_TIMEOUT) return SocketErrorText(WSAETIMEDOUT);
    WSANETWORKEVENTS events{};
    if (WSAEnumNetworkEvents(sock_, event_.get(), &events) != 0) {
      return SocketErrorText(WSAGetLastError());
    }
    if ((events.lNetworkEvents & FD_CONNECT) == 0) return std::string("no answer");
    const int error = events.iErrorCode[FD_CONNECT_BIT];
    return error == 0 ? std::string() : SocketErrorText(error);
  }

  // Reads before it waits: data may have come with the connection already.
  Received Receive(std::optional<TimePoint> until, std::string& bytes, std::string& why) override {
    const std::optional<Received> now = Read(bytes, why);
    if (now) return *now;
    const DWORD waited = Wait(WaitMilliseconds(until, 60'000));
    if (waited == WAIT_OBJECT_0) return Received::kStopped;
    if (waited == WAIT_FAILED) {
      why = SystemErrorText(GetLastError());
      return Received::kLost;
    }
    if (waited == WAIT_TIMEOUT) return Received::kBytes;
    WSANETWORKEVENTS events{};
    WSAEnumNetworkEvents(sock_, event_.get(), &events);
    return Read(bytes, why).value_or(Received::kBytes);
  }

  bool Send(std::string_view bytes, std::string& why) override {
    const auto give_up = std::chrono::steady_clock::now() + kWriteTimeout;
    while (!bytes.empty()) {
      const int sent = send(sock_, bytes.data(), static_cast<int>(bytes.size()), 0);
      if (sent > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(sent));
        continue;
      }
      const int error = WSAGetLastError();
      if (sent < 0 && error == WSAEWOULDBLOCK && std::chrono::steady_clock::now() < give_up) {
        Sleep(10);  // the requests are a few hundred bytes: room comes at once or never
        continue;
      }
      why = error == WSAEWOULDBLOCK ? "the server takes no more data" : SocketErrorText(error);
      return false;
    }
    return true;
  }

 private:
  DWORD Wait(DWORD milliseconds) const {
    const std::array<HANDLE, 2> handles{waiter_.stop_event(), event_.get()};
    return WaitForMultipleObjects(handles.size(), handles.data(), FALSE, milliseconds);
  }

  // What one recv gives; nullopt when nothing has come yet.
  std::optional<Received> Read(std::string& bytes, std::string& why) {
    std::array<char, 16384> buffer{};
    const int received = recv(sock_, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (received > 0) {
      bytes.assign(buffer.data(), static_cast<std::size_t>(received));
      return Received::kBytes;
    }
    if (received < 0 && WSAGetLastError() == WSAEWOULDBLOCK) return std::nullopt;
    why = received == 0 ? "closed by the server" : SocketErrorText(WSAGetLastError());
    return Received::kLost;
  }

  SOCKET sock_;
  UniqueHandle event_;
  const EventWaiter& waiter_;
};

class Connector final : public TcpConnector {
 public:
  explicit Connector(const EventWaiter& waiter) : waiter_(waiter) {
    WSADATA data{};
    const int started = WSAStartup(MAKEWORD(2, 2), &data);
    if (started != 0) throw std::system_error(started, std::system_category(), "WSAStartup");
  }
  ~Connector() override { WSACleanup(); }
  Connector(const Connector&) = delete;
  Connector& operator=(const Connector&) = delete;

  std::unique_ptr<DeviceLink> Connect(const std::vector<HostAddress>& addresses,
                                      std::string& why) override {
    why = "no address";
    for (const HostAddress& address : addresses) {
      const SOCKET sock = socket(address.family, address.socktype, address.protocol);
      if (sock == INVALID_SOCKET) {
        why = SocketErrorText(WSAGetLastError());
        continue;
      }
      auto link = std::make_unique<SocketLink>(sock, waiter_);
      const std::optional<std::string> made =
          link->Connect(reinterpret_cast<const sockaddr*>(address.sockaddr.data()),
                        static_cast<int>(address.sockaddr.size()));
      if (!made) {
        why.clear();
        return nullptr;
      }
      if (made->empty()) return link;
      why = *made;
    }
    return nullptr;
  }

 private:
  const EventWaiter& waiter_;
};

}  // namespace

std::unique_ptr<TcpConnector> WinsockConnector(const EventWaiter& waiter) {
  return std::make_unique<Connector>(waiter);
}

}  // namespace qelto::cidr
