#include "drivers/sim/tool_arguments.h"

#include <variant>

#include "drivers/sim/sim_command.h"

namespace qelto::sim {

ToolRequest ParseToolArguments(std::span<const std::string_view> arguments) {
  using Kind = ToolRequest::Kind;
  if (arguments.empty()) return {Kind::kUsageError, "no command given"};
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
    return {Kind::kHelp, {}};
  }
  std::string line;
  for (const std::string_view argument : arguments) {
    if (argument.find_first_of("\r\n") != std::string_view::npos) {
      return {Kind::kUsageError, "arguments must not contain line breaks"};
    }
    if (!line.empty()) line += ' ';
    line += argument;
  }
  const ParsedCommand parsed = ParseSimCommand(line);
  if (const auto* error = std::get_if<CommandError>(&parsed)) {
    return {Kind::kUsageError, error->reason};
  }
  return {Kind::kSend, line};
}

std::string ToolUsage(std::string_view address_help) {
  return "Usage: qelto-cidr-sim COMMAND [ARGUMENTS]\n"
         "Drives the caller-ID simulator inside a running qelto-callerid.\n"
         "\n"
         "Commands:\n"
         "  call LINE [NUMBER]  report a call on telephone line LINE (1..2147483647)\n"
         "                      from NUMBER (at most 64 bytes; may be empty)\n"
         "  unplug [DEVICE]     disconnect simulated device DEVICE (default 1)\n"
         "  plug [DEVICE]       connect simulated device DEVICE (default 1)\n"
         "  status TEXT         send the status event \"S\" followed by TEXT\n"
         "  info                print the driver's information text\n"
         "\n" +
         std::string(address_help) +
         "The number of simulated devices (1..8, default 1) is read by the driver from\n"
         "QELTO_CIDR_SIM_DEVICES in the recorder's environment when it starts.\n"
         "With a POS_CIDR.conf, info lists its modems too, and DEVICE counts only its\n"
         "sim devices, in the file's order.\n"
         "Exit status: 0 on OK, 1 on ERROR or when no simulator listens, 2 on usage errors.\n";
}

}  // namespace qelto::sim
