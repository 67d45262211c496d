// qelto-cidr-sim: drives the simulated caller-ID driver inside a running recorder through its
// control channel (a Unix socket, or on Windows a named pipe), replays raw data files, and lists
// the COM ports for the installer's modem page.
// Exit status: 0 on OK, 1 on ERROR or when no simulator answers, 2 on misuse.

#include <iostream>
#include <memory>
#include <string_view>
#include <vector>

#include "drivers/control/control_address.h"
#include "drivers/control/control_client.h"
#include "drivers/modem/system_ports.h"
#include "drivers/sim/replay_tool.h"
#include "drivers/sim/tool_arguments.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Send(const std::string& line) {
  using Status = qelto::cidr::ControlReply::Status;
  const std::string path = qelto::cidr::ControlAddressFromEnvironment();
  const qelto::cidr::ControlReply reply = qelto::cidr::SendControlCommand(path, line);
  for (const std::string& reply_line : reply.lines) {
    (reply_line.starts_with("ERROR") ? std::cerr : std::cout) << reply_line << '\n';
  }
  if (reply.status == Status::kOk) return kExitOk;
  if (!reply.problem.empty()) std::cerr << "qelto-cidr-sim: " << reply.problem << '\n';
  return kExitFailed;
}

int ListPorts() {
  const std::unique_ptr<qelto::cidr::PortList> ports = qelto::cidr::SystemPortList();
  if (!ports) {
    std::cerr << "qelto-cidr-sim: ports are listed on Windows only; on Linux name a modem by its "
                 "path under /dev/serial/by-id/\n";
    return kExitFailed;
  }
  std::cout << qelto::cidr::ConsoleText(qelto::cidr::PortListing(ports->Ports()));
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const qelto::cidr::ToolRequest request = qelto::cidr::ParseToolArguments(arguments);
  switch (request.kind) {
    case qelto::cidr::ToolRequest::Kind::kHelp:
      std::cout << qelto::cidr::ToolUsage(qelto::cidr::ControlAddressHelp());
      return kExitOk;
    case qelto::cidr::ToolRequest::Kind::kUsageError:
      std::cerr << "qelto-cidr-sim: " << request.text << "\n\n"
                << qelto::cidr::ToolUsage(qelto::cidr::ControlAddressHelp());
      return kExitUsage;
    case qelto::cidr::ToolRequest::Kind::kSend:
      return Send(request.text);
    case qelto::cidr::ToolRequest::Kind::kReplay:
      return qelto::cidr::RunReplay(request, std::cout, std::cerr);
    case qelto::cidr::ToolRequest::Kind::kPorts:
      return ListPorts();
  }
  return kExitUsage;
}
