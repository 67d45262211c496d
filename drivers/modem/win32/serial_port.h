#pragma once

#include <string>

#include "common/win32/unique_handle.h"
#include "drivers/driver_config.h"

namespace qelto::cidr {

// The name CreateFileW takes for a port named in the configuration: "COM3" becomes
// "\\.\COM3", the only form that reaches COM10 and above; a name already in the device
// namespace ("\\.\...") is kept.
std::wstring SerialDeviceName(const std::string& port);

// Opens a modem's COM port for the driver alone (no sharing) and for overlapped I/O: raw 8N1 at
// the configured speed, RTS/CTS flow control when configured, else none, emptied of anything
// received before. A read returns at once, with what has come (possibly nothing). On failure
// returns an invalid handle and sets `error` to the reason.
// A port named by the modem's identity (USB\VID_0572&PID_1340\0001) is looked up among the
// ports plugged in now, each time: a modem that was given another COM port is found there.
UniqueHandle OpenSerialPort(const ModemSettings& settings, std::string& error);
// As above; `found_at` is set to the COM port opened ("COM9"), for the note that says where the
// modem was found.
UniqueHandle OpenSerialPort(const ModemSettings& settings, std::string& error,
                            std::string& found_at);

}  // namespace qelto::cidr
