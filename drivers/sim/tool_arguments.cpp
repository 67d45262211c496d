#include "drivers/sim/tool_arguments.h"

#include <variant>

#include "drivers/sim/sim_command.h"

namespace qelto::cidr {

namespace {

ToolRequest ParseReplayArguments(std::span<const std::string_view> arguments) {
  using Kind = ToolRequest::Kind;
  if (arguments.empty() || arguments[0].starts_with("--")) {
    return {Kind::kUsageError, "replay needs the raw data file", {}, {}};
  }
  ToolRequest request{Kind::kReplay, std::string(arguments[0]), {}, {}};
  bool in_device = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument.find_first_of("\r\n") != std::string_view::npos) {
      return {Kind::kUsageError, "arguments must not contain line breaks", {}, {}};
    }
    if (argument == "--config") {
      if (i + 1 == arguments.size() || !request.config.empty()) {
        return {Kind::kUsageError, "--config needs one POS_CIDR.conf, given once", {}, {}};
      }
      request.config = std::string(arguments[++i]);
      in_device = false;
    } else if (argument == "--device") {
      request.devices += "[device]\n";
      in_device = true;
    } else if (in_device && argument.find('=') != std::string_view::npos &&
               !argument.starts_with("=")) {
      const std::size_t equals = argument.find('=');
      request.devices += std::string(argument.substr(0, equals)) + " = " +
                         std::string(argument.substr(equals + 1)) + "\n";
    } else {
      return {Kind::kUsageError,
              "replay takes --config FILE and --device KEY=VALUE...; not \"" +
                  std::string(argument) + "\"",
              {},
              {}};
    }
  }
  return request;
}

}  // namespace

ToolRequest ParseToolArguments(std::span<const std::string_view> arguments) {
  using Kind = ToolRequest::Kind;
  if (arguments.empty()) return {Kind::kUsageError, "no command given", {}, {}};
  if (arguments[0] == "replay") return ParseReplayArguments(arguments.subspan(1));
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
    return {Kind::kHelp, {}, {}, {}};
  }
  if (arguments[0] == "ports") {
    if (arguments.size() == 1) return {Kind::kPorts, {}, {}, {}};
    return {Kind::kUsageError, "ports takes no arguments", {}, {}};
  }
  std::string line;
  for (const std::string_view argument : arguments) {
    if (argument.find_first_of("\r\n") != std::string_view::npos) {
      return {Kind::kUsageError, "arguments must not contain line breaks", {}, {}};
    }
    if (!line.empty()) line += ' ';
    line += argument;
  }
  const ParsedCommand parsed = ParseSimCommand(line);
  if (const auto* error = std::get_if<CommandError>(&parsed)) {
    return {Kind::kUsageError, error->reason, {}, {}};
  }
  return {Kind::kSend, line, {}, {}};
}

std::string ToolUsage(std::string_view address_help) {
  return "Usage: qelto-cidr-sim COMMAND [ARGUMENTS]\n"
         "Drives the caller-ID simulator inside a running qelto-callerid, and replays\n"
         "the driver's raw data files.\n"
         "\n"
         "Commands:\n"
         "  call LINE [NUMBER]  report a call on telephone line LINE (1..2147483647)\n"
         "                      from NUMBER (at most 64 bytes; may be empty)\n"
         "  unplug [DEVICE]     disconnect simulated device DEVICE (default 1)\n"
         "  plug [DEVICE]       connect simulated device DEVICE (default 1)\n"
         "  status TEXT         send the status event \"S\" followed by TEXT\n"
         "  info                print the driver's information text\n"
         "  replay FILE [--config POS_CIDR.conf] [--device KEY=VALUE...]...\n"
         "                      read a raw data file (raw_log) and print, for each line in\n"
         "                      it, the calls, status texts and passed-over data the driver\n"
         "                      made of it; each --device gives one device's settings as\n"
         "                      POS_CIDR.conf keys (kind=pbx line=2 inbound_context=...),\n"
         "                      before those of --config; lines without any take the\n"
         "                      defaults. Needs no running recorder.\n"
         "  ports               Windows: list the COM ports plugged in, one a line: the\n"
         "                      port, its name in Device Manager, and what port = in\n"
         "                      POS_CIDR.conf should say for it (a USB modem's identity,\n"
         "                      which finds it at whatever COM port it has, else the port),\n"
         "                      separated by tabs. Needs no running recorder.\n"
         "\n" +
         std::string(address_help) +
         "The number of simulated devices (1..8, default 1) is read by the driver from\n"
         "QELTO_CIDR_SIM_DEVICES in the recorder's environment when it starts.\n"
         "With a POS_CIDR.conf, info lists its modems too, and DEVICE counts only its\n"
         "sim devices, in the file's order.\n"
         "Exit status: 0 on OK, 1 on ERROR or when no simulator listens, 2 on usage errors;\n"
         "replay: 0 when the file was read whole, 1 when it or the settings had problems.\n";
}

}  // namespace qelto::cidr
