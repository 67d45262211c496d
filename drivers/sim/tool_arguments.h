#pragma once

#include <span>
#include <string>
#include <string_view>

namespace qelto::cidr {

// What the qelto-cidr-sim command line asks for.
struct ToolRequest {
  enum class Kind { kHelp, kSend, kReplay, kPorts, kUsageError };
  Kind kind = Kind::kUsageError;
  // kSend: the protocol line to send; kReplay: the raw data file; kUsageError: what is wrong
  std::string text;
  std::string config;   // kReplay: the POS_CIDR.conf given with --config, or empty
  std::string devices;  // kReplay: the --device settings, as the text of a POS_CIDR.conf
};

// The arguments after the program name. "replay FILE [--config POS_CIDR.conf]
// [--device KEY=VALUE...]..." asks for a replay of a raw data file. Otherwise they are joined with
// single spaces into one protocol line, which must parse as a command; so the tool refuses locally
// what the driver would refuse for its form, and sends everything else. "--help" or "-h" alone asks
// for help. "ports" alone asks for the list of serial ports (on Windows).
ToolRequest ParseToolArguments(std::span<const std::string_view> arguments);

// The text printed for --help and after a usage error; `address_help` says where the tool finds
// the running driver on this platform (see ControlAddressHelp).
std::string ToolUsage(std::string_view address_help);

}  // namespace qelto::cidr
