#pragma once

#include <string>
#include <vector>

namespace qelto::cidr {

// The answer to one command sent to the running simulator.
struct ControlReply {
  enum class Status { kOk, kError, kNoSimulator, kBroken };
  Status status = Status::kBroken;
  std::vector<std::string> lines;  // as received, the final OK or ERROR line included
  std::string problem;             // kNoSimulator, kBroken: what went wrong, for the user
};

// Sends one protocol line to the simulator listening at `path` and reads its reply. Waits at
// most a few seconds for an answer, so a stuck driver does not hang the tool. Defined once per
// platform.
ControlReply SendControlCommand(const std::string& path, const std::string& line);

}  // namespace qelto::cidr
