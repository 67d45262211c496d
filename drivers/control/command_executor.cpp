#include "drivers/control/command_executor.h"

#include "drivers/info_text.h"

namespace qelto::cidr {
namespace {

CommandOutcome Error(std::string reason) {
  return CommandOutcome{{"ERROR " + reason}, {}};
}

CommandOutcome Ok(std::optional<DriverEvent> event) {
  return CommandOutcome{{"OK"}, event};
}

// The information text, one reply line per text line, then "OK".
CommandOutcome InfoReply(std::string_view text) {
  CommandOutcome outcome;
  std::size_t start = 0;
  for (std::size_t end = text.find("\r\n"); end != std::string_view::npos;
       end = text.find("\r\n", start)) {
    outcome.reply.emplace_back(text.substr(start, end - start));
    start = end + 2;
  }
  outcome.reply.emplace_back("OK");
  return outcome;
}

CommandOutcome SetDevice(int device, bool connected, SimulatedDevices* devices) {
  if (devices == nullptr) {
    return Error("no simulated device " + std::to_string(device) + ": none is configured");
  }
  if (!devices->SetConnected(device, connected)) {
    return Error("no device " + std::to_string(device) + ": the simulator has " +
                 std::to_string(devices->count()));
  }
  return Ok(DeviceStatusEvent(device, connected));
}

CommandOutcome Execute(const SimCommand& command, SimulatedDevices* devices,
                       std::string_view info_text) {
  switch (command.kind) {
    case CommandKind::kCall:
      return Ok(CallEvent(command.line, command.text));
    case CommandKind::kUnplug:
      return SetDevice(command.device, false, devices);
    case CommandKind::kPlug:
      return SetDevice(command.device, true, devices);
    case CommandKind::kStatus:
      return Ok(StatusEvent(command.text));
    case CommandKind::kInfo:
      return InfoReply(info_text);
  }
  return Error("unknown command");
}

}  // namespace

CommandOutcome ExecuteCommand(const SimCommand& command, SimulatedDevices& devices) {
  return Execute(command, &devices, BuildInfoText(devices));
}

CommandOutcome ExecuteCommandLine(std::string_view line, SimulatedDevices& devices) {
  ParsedCommand parsed = ParseSimCommand(line);
  if (const auto* error = std::get_if<CommandError>(&parsed)) return Error(error->reason);
  return ExecuteCommand(std::get<SimCommand>(parsed), devices);
}

CommandOutcome ExecuteCommandLine(std::string_view line, SimulatedDevices* simulated,
                                  std::string_view info_text) {
  ParsedCommand parsed = ParseSimCommand(line);
  if (const auto* error = std::get_if<CommandError>(&parsed)) return Error(error->reason);
  return Execute(std::get<SimCommand>(parsed), simulated, info_text);
}

}  // namespace qelto::cidr
