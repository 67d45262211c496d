#include "drivers/modem/win32/serial_port.h"

#include "common/win32/system_error_text.h"
#include "common/win32/wide_text.h"
#include "drivers/modem/modem_identity.h"
#include "drivers/modem/win32/setupapi_ports.h"

namespace qelto::cidr {
namespace {

bool Configure(HANDLE port, const ModemSettings& settings) {
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  if (!GetCommState(port, &dcb)) return false;
  dcb.BaudRate = static_cast<DWORD>(settings.speed);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = settings.rts_cts ? TRUE : FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;  // a modem hangs up and resets when DTR drops
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = settings.rts_cts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(port, &dcb)) return false;
  // A read returns at once with what has come; the worker reads only what it knows is there.
  // Writes are bounded by the worker.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  return SetCommTimeouts(port, &timeouts) != 0;
}

}  // namespace

std::wstring SerialDeviceName(const std::string& port) {
  const std::wstring wide = WideFromUtf8(port);
  if (wide.rfind(L"\\\\.\\", 0) == 0) return wide;
  return L"\\\\.\\" + wide;
}

namespace {

UniqueHandle OpenPort(const std::string& name, const ModemSettings& settings, std::string& error) {
  UniqueHandle port(CreateFileW(SerialDeviceName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  if (!port) {
    const DWORD code = GetLastError();
    // Without sharing, a port another program holds refuses the open as if it were ours to
    // refuse: say what it most likely is.
    error = code == ERROR_ACCESS_DENIED ? "in use by another program" : SystemErrorText(code);
    return {};
  }
  if (GetFileType(port.get()) != FILE_TYPE_CHAR) {
    error = "not a serial device";
    return {};
  }
  if (!Configure(port.get(), settings)) {
    error = SystemErrorText(GetLastError());
    return {};
  }
  PurgeComm(port.get(), PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
  return port;
}

}  // namespace

UniqueHandle OpenSerialPort(const ModemSettings& settings, std::string& error) {
  std::string found_at;
  return OpenSerialPort(settings, error, found_at);
}

UniqueHandle OpenSerialPort(const ModemSettings& settings, std::string& error,
                            std::string& found_at) {
  SetupApiPortList ports;
  const FoundPort found = FindModemPort(settings.port, ports);
  if (found.name.empty()) {
    error = found.problem;
    return {};
  }
  UniqueHandle port = OpenPort(found.name, settings, error);
  if (port) {
    found_at = found.name;
  } else if (IsIdentityPort(settings.port)) {
    error = "found at " + found.name + ", " + error;
  }
  return port;
}

}  // namespace qelto::cidr
