#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qelto::cidr {

inline constexpr char kSocketVariable[] = "QELTO_CIDR_SIM_SOCKET";
inline constexpr char kDevicesVariable[] = "QELTO_CIDR_SIM_DEVICES";
inline constexpr int kDefaultDeviceCount = 1;

// Where the running driver listens and the tool connects. Arguments are the values of
// QELTO_CIDR_SIM_SOCKET and XDG_RUNTIME_DIR (null or empty when unset) and the user id:
// the explicit socket path, else "<runtime dir>/qelto-cidr-sim.sock", else
// "/tmp/qelto-cidr-sim-<uid>.sock".
std::string ControlSocketPath(const char* socket_variable, const char* runtime_dir,
                              unsigned long uid);

// The named pipe the Windows driver serves, for QELTO_CIDR_SIM_SOCKET's value (null or empty
// when unset), the Windows session id and the user's SID: the variable's pipe (a bare name is
// taken as one under \\.\pipe\), else "\\.\pipe\qelto-cidr-sim-<session>-<user>", so each
// user of each session has a pipe of their own.
std::string ControlPipeName(const char* socket_variable, unsigned long session,
                            std::string_view user);

// The value of QELTO_CIDR_SIM_DEVICES: decimal 1..8; nullopt when it is anything else.
std::optional<int> ParseDeviceCount(const char* value);

}  // namespace qelto::cidr
