#include "drivers/pbx/win32/system_resolver.h"

// Winsock's header must come before any <windows.h>.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <array>
#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "common/win32/system_error_text.h"

namespace qelto::cidr {
namespace {

struct AddressListDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

// Winsock for as long as one call needs it.
class WinsockUse {
 public:
  WinsockUse() {
    WSADATA data{};
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockUse() {
    if (started_) WSACleanup();
  }
  WinsockUse(const WinsockUse&) = delete;
  WinsockUse& operator=(const WinsockUse&) = delete;

 private:
  bool started_ = false;
};

HostLookupResult Addresses(const addrinfo* found) {
  HostLookupResult result;
  for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
    std::array<char, NI_MAXHOST> numeric{};
    if (getnameinfo(address->ai_addr, static_cast<socklen_t>(address->ai_addrlen), numeric.data(),
                    static_cast<DWORD>(numeric.size()), nullptr, 0, NI_NUMERICHOST) != 0) {
      continue;
    }
    result.addresses.push_back(
        {address->ai_family, address->ai_socktype, address->ai_protocol,
         std::string(reinterpret_cast<const char*>(address->ai_addr), address->ai_addrlen),
         numeric.data()});
  }
  if (result.addresses.empty()) result.error = "no address";
  return result;
}

class GetaddrinfoResolver final : public HostResolver {
 public:
  std::optional<HostLookupResult> ResolveAddress(const std::string& host, int port) override {
    return Lookup(host, port, AI_NUMERICHOST);
  }
  HostLookupResult Resolve(const std::string& host, int port) override {
    return Lookup(host, port, 0).value_or(HostLookupResult{{}, "no address"});
  }

 private:
  static std::optional<HostLookupResult> Lookup(const std::string& host, int port, int flags) {
    const WinsockUse winsock;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    const int lookup = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (lookup == EAI_NONAME && flags == AI_NUMERICHOST) return std::nullopt;  // a name
    if (lookup != 0) {
      return HostLookupResult{{}, SystemErrorText(static_cast<std::uint32_t>(lookup))};
    }
    const std::unique_ptr<addrinfo, AddressListDeleter> addresses(found);
    return Addresses(found);
  }
};

// Any address inside this module names it to GetModuleHandleEx.
constexpr char kInThisModule = 0;

struct Detached {
  std::function<void()> body;
  HMODULE module = nullptr;
};

DWORD WINAPI RunDetached(void* parameter) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<Detached> detached(static_cast<Detached*>(parameter));
    module = detached->module;
    try {
      detached->body();
    } catch (const std::exception&) {
      // Out of memory: nothing may leave the thread, which would end the recorder's process.
    }
  }
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

std::shared_ptr<HostResolver> SystemHostResolver() {
  return std::make_shared<GetaddrinfoResolver>();
}

void StartDetachedThread(std::function<void()> body) {
  auto detached = std::make_unique<Detached>();
  detached->body = std::move(body);
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&kInThisModule), &detached->module)) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "GetModuleHandleEx");
  }
  const HMODULE module = detached->module;
  HANDLE thread = CreateThread(nullptr, 0, &RunDetached, detached.get(), 0, nullptr);
  if (thread == nullptr) {
    const DWORD error = GetLastError();
    FreeLibrary(module);
    throw std::system_error(static_cast<int>(error), std::system_category(), "CreateThread");
  }
  detached.release();  // the thread's now
  CloseHandle(thread);
}

}  // namespace qelto::cidr
