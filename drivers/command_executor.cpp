#include "drivers/command_executor.h"

#include "drivers/info_text.h"

namespace qelto::sim {
namespace {

CommandOutcome Error(std::string reason) {
  return CommandOutcome{{"ERROR " + reason}, {}};
}

CommandOutcome Ok(std::optional<DriverEvent> event) {
  return CommandOutcome{{"OK"}, event};
}

// The information text, one reply line per text line, then "OK".
CommandOutcome InfoReply(const SimulatedDevices& devices) {
  CommandOutcome outcome;
  const std::string text = BuildInfoText(devices);
  std::size_t start = 0;
  for (std::size_t end = text.find("\r\n"); end != std::string::npos;
       end = text.find("\r\n", start)) {
    outcome.reply.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  outcome.reply.emplace_back("OK");
  return outcome;
}

CommandOutcome SetDevice(int device, bool connected, SimulatedDevices& devices) {
  if (!devices.SetConnected(device, connected)) {
    return Error("no device " + std::to_string(device) + ": the simulator has " +
                 std::to_string(devices.count()));
  }
  return Ok(DeviceStatusEvent(device, connected));
}

}  // namespace

CommandOutcome ExecuteCommand(const SimCommand& command, SimulatedDevices& devices) {
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
      return InfoReply(devices);
  }
  return Error("unknown command");
}

CommandOutcome ExecuteCommandLine(std::string_view line, SimulatedDevices& devices) {
  ParsedCommand parsed = ParseSimCommand(line);
  if (const auto* error = std::get_if<CommandError>(&parsed)) return Error(error->reason);
  return ExecuteCommand(std::get<SimCommand>(parsed), devices);
}

}  // namespace qelto::sim
