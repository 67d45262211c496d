#include "drivers/win32/com_port_link.h"

#include <array>
#include <string>
#include <utility>

#include "common/win32/system_error_text.h"
#include "drivers/modem/modem_identity.h"
#include "drivers/modem/win32/serial_port.h"
#include "drivers/win32/overlapped_io.h"

namespace qelto::cidr {
namespace {

// A modem that cannot take a command within this long is as good as gone; a read of bytes
// already received ends at once, so one that takes this long has lost its port.
constexpr DWORD kWriteTimeoutMs = 2000;
constexpr DWORD kReadTimeoutMs = 2000;
// How long the link waits before it looks for the modem's next bytes: the most a modem's line is
// delayed, small beside a ring's.
constexpr DWORD kPollIntervalMs = 50;

class ComPortLink final : public DeviceLink {
 public:
  ComPortLink(UniqueHandle port, const EventWaiter& waiter)
      : port_(std::move(port)),
        waiter_(waiter),
        read_event_(ManualResetEvent()),
        write_event_(ManualResetEvent()) {}

  Received Receive(std::optional<TimePoint> until, std::string& bytes, std::string& why) override {
    DWORD waiting = 0;
    if (!BytesWaiting(waiting, why)) return Received::kLost;
    if (waiting == 0) {
      const DWORD pause = WaitMilliseconds(until, kPollIntervalMs);
      if (WaitForSingleObject(waiter_.stop_event(), pause) != WAIT_TIMEOUT) {
        return Received::kStopped;
      }
      return Received::kBytes;
    }
    std::array<char, 4096> buffer{};
    const DWORD size = waiting < buffer.size() ? waiting : static_cast<DWORD>(buffer.size());
    const std::optional<DWORD> received =
        ReadWithin(port_.get(), buffer.data(), size, kReadTimeoutMs, read_event_.get());
    if (!received) {
      const DWORD error = GetLastError();
      why = error == WAIT_TIMEOUT ? "the port does not answer" : SystemErrorText(error);
      return Received::kLost;
    }
    bytes.assign(buffer.data(), *received);
    return Received::kBytes;
  }

  bool Send(std::string_view bytes, std::string& why) override {
    while (!bytes.empty()) {
      const std::optional<DWORD> written =
          WriteWithin(port_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), kWriteTimeoutMs,
                      write_event_.get());
      if (!written || *written == 0) {
        const DWORD error = GetLastError();
        why = !written && error != WAIT_TIMEOUT ? SystemErrorText(error)
                                                : "the port takes no more data";
        return false;
      }
      bytes.remove_prefix(*written);
    }
    return true;
  }

 private:
  // How many bytes the port has received and not yet given out; false, with `why` set, when the
  // port refuses to say, as one whose USB modem was unplugged does.
  bool BytesWaiting(DWORD& count, std::string& why) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port_.get(), &errors, &status)) {
      why = SystemErrorText(GetLastError());
      return false;
    }
    count = status.cbInQue;
    return true;
  }

  UniqueHandle port_;
  const EventWaiter& waiter_;
  UniqueHandle read_event_;
  UniqueHandle write_event_;
};

class ComPortTransportImpl final : public DeviceTransport {
 public:
  ComPortTransportImpl(ModemSettings settings, const EventWaiter& waiter)
      : settings_(std::move(settings)), waiter_(waiter) {}

  OpenedLink Open() override {
    OpenedLink opened;
    std::string found_at;
    UniqueHandle port = OpenSerialPort(settings_, opened.why, found_at);
    if (!port) return opened;
    opened.link = std::make_unique<ComPortLink>(std::move(port), waiter_);
    opened.note = "opened " + settings_.port;
    if (IsIdentityPort(settings_.port)) {
      opened.note += " at " + found_at;
      opened.found = "modem " + settings_.port + " found at " + found_at;
    }
    return opened;
  }

 private:
  ModemSettings settings_;
  const EventWaiter& waiter_;
};

}  // namespace

std::unique_ptr<DeviceTransport> ComPortTransport(const ModemSettings& settings,
                                                  const EventWaiter& waiter) {
  return std::make_unique<ComPortTransportImpl>(settings, waiter);
}

}  // namespace qelto::cidr
