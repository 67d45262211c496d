#include "drivers/modem/posix/serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "drivers/posix/fd_link.h"

namespace qelto::cidr {
namespace {

std::string ErrnoText() {
  return std::generic_category().message(errno);
}

speed_t SpeedConstant(int speed) {
  switch (speed) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 921600:
      return B921600;
    default:
      return B115200;
  }
}

bool Configure(int fd, const ModemSettings& settings) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return false;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
  tio.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
  if (settings.rts_cts) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  const speed_t speed = SpeedConstant(settings.speed);
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;
  return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

UniqueFd OpenSerialPort(const ModemSettings& settings, std::string& error) {
  UniqueFd fd(::open(settings.port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    error = ErrnoText();
    return {};
  }
  if (!::isatty(fd.get())) {
    error = "not a serial device";
    return {};
  }
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK ? "in use by another copy of the driver" : ErrnoText();
    return {};
  }
  if (::ioctl(fd.get(), TIOCEXCL) != 0 || !Configure(fd.get(), settings)) {
    error = ErrnoText();
    return {};
  }
  ::tcflush(fd.get(), TCIOFLUSH);
  return fd;
}

namespace {

class PosixSerialTransport final : public DeviceTransport {
 public:
  PosixSerialTransport(ModemSettings settings, const WakePipeWaiter& waiter)
      : settings_(std::move(settings)), waiter_(waiter) {}

  OpenedLink Open() override {
    OpenedLink opened;
    UniqueFd port = OpenSerialPort(settings_, opened.why);
    if (!port.valid()) return opened;
    opened.link = std::make_unique<FdLink>(std::move(port), FdLink::Kind::kSerialPort, waiter_);
    opened.note = "opened " + settings_.port;
    return opened;
  }

 private:
  ModemSettings settings_;
  const WakePipeWaiter& waiter_;
};

}  // namespace

std::unique_ptr<DeviceTransport> SerialTransport(const ModemSettings& settings,
                                                 const WakePipeWaiter& waiter) {
  return std::make_unique<PosixSerialTransport>(settings, waiter);
}

}  // namespace qelto::cidr
