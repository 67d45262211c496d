#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace qelto::cidr {

inline constexpr int kMaxDevices = 8;
// Limits on the free texts, so a stray paste cannot hand the recorder an absurd event.
inline constexpr std::size_t kMaxNumberBytes = 64;
inline constexpr std::size_t kMaxStatusBytes = 200;

enum class CommandKind { kCall, kUnplug, kPlug, kStatus, kInfo };

// One control command, checked for form but not against the simulator's current devices.
struct SimCommand {
  CommandKind kind = CommandKind::kInfo;
  std::int32_t line = 0;  // kCall: telephone line, 1..INT32_MAX
  int device = 1;         // kUnplug, kPlug: device number, 1..kMaxDevices
  std::u16string text;    // kCall: the caller's number as given; kStatus: the status text

  friend bool operator==(const SimCommand&, const SimCommand&) = default;
};

// Why a line is not a command; the text follows "ERROR " in the reply.
struct CommandError {
  std::string reason;

  friend bool operator==(const CommandError&, const CommandError&) = default;
};

using ParsedCommand = std::variant<SimCommand, CommandError>;

// Parses one line of the control protocol (without its line break). Grammar:
//   call LINE [NUMBER]   unplug [DEVICE]   plug [DEVICE]   status [TEXT]   info
// Keywords are lower case. Words are separated by runs of blanks (space, tab); the free text
// (NUMBER, TEXT) is everything after the single blank that follows the word before it, kept as
// given, so "call 1  0912" carries " 0912". Free texts must be UTF-8 without control characters.
// Pure: no I/O, no allocation beyond the result.
ParsedCommand ParseSimCommand(std::string_view line);

}  // namespace qelto::cidr
