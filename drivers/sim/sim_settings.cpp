#include "drivers/sim/sim_settings.h"

#include <string_view>

#include "drivers/sim/sim_command.h"

namespace qelto::cidr {
namespace {

bool IsSet(const char* value) {
  return value != nullptr && *value != '\0';
}

}  // namespace

std::string ControlSocketPath(const char* socket_variable, const char* runtime_dir,
                              unsigned long uid) {
  if (IsSet(socket_variable)) return socket_variable;
  if (IsSet(runtime_dir)) return std::string(runtime_dir) + "/qelto-cidr-sim.sock";
  return "/tmp/qelto-cidr-sim-" + std::to_string(uid) + ".sock";
}

std::string ControlPipeName(const char* socket_variable, unsigned long session,
                            std::string_view user) {
  constexpr std::string_view kPipeFolder = R"(\\.\pipe\)";
  if (IsSet(socket_variable)) {
    const std::string_view name(socket_variable);
    return name.starts_with(kPipeFolder) ? std::string(name)
                                         : std::string(kPipeFolder) + std::string(name);
  }
  return std::string(kPipeFolder) + "qelto-cidr-sim-" + std::to_string(session) + "-" +
         std::string(user);
}

std::optional<int> ParseDeviceCount(const char* value) {
  if (value == nullptr) return std::nullopt;
  const std::string_view text(value);
  if (text.size() != 1 || text[0] < '1' || text[0] > '0' + kMaxDevices) return std::nullopt;
  return text[0] - '0';
}

}  // namespace qelto::cidr
