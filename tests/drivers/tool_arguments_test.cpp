#include "drivers/sim/tool_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printable.h"

namespace qelto::cidr {
namespace {

using Kind = ToolRequest::Kind;

struct ToolCase {
  std::vector<std::string_view> arguments;
  Kind kind;
  std::string text;          // the line sent, the file replayed, or the start of the usage error
  std::string devices = {};  // replay: the --device settings as POS_CIDR.conf text
};

void PrintTo(const ToolCase& row, std::ostream* out) {
  for (const std::string_view argument : row.arguments) {
    *out << testing_support::Printable(argument) << ' ';
  }
}

class ToolArguments : public testing::TestWithParam<ToolCase> {};

TEST_P(ToolArguments, BuildTheLineOrRefuse) {
  const ToolRequest request = ParseToolArguments(GetParam().arguments);
  EXPECT_EQ(request.kind, GetParam().kind);
  EXPECT_TRUE(request.text.starts_with(GetParam().text)) << request.text;
  EXPECT_EQ(request.devices, GetParam().devices);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToolArguments,
    testing::Values(
        ToolCase{{"call", "2", "09121234567"}, Kind::kSend, "call 2 09121234567"},
        ToolCase{{"call", "2"}, Kind::kSend, "call 2"},
        ToolCase{{"call", "2", " 0912"}, Kind::kSend, "call 2  0912"},
        ToolCase{{"status", "Line", "1", "busy"}, Kind::kSend, "status Line 1 busy"},
        ToolCase{{"unplug"}, Kind::kSend, "unplug"}, ToolCase{{"plug", "2"}, Kind::kSend, "plug 2"},
        ToolCase{{"info"}, Kind::kSend, "info"}, ToolCase{{"--help"}, Kind::kHelp, ""},
        ToolCase{{"-h"}, Kind::kHelp, ""}, ToolCase{{}, Kind::kUsageError, "no command given"},
        ToolCase{{"--help", "call"}, Kind::kUsageError, "unknown command"},
        ToolCase{{"ring"}, Kind::kUsageError, "unknown command"},
        ToolCase{{"call"}, Kind::kUsageError, "usage: call"},
        ToolCase{{"call", "0"}, Kind::kUsageError, "LINE must be"},
        ToolCase{{"unplug", "9"}, Kind::kUsageError, "DEVICE must be"},
        // A line break would smuggle a second command into the stream.
        ToolCase{{"status", "a\ncall 1 5"}, Kind::kUsageError, "arguments must not"},
        ToolCase{{"status", "a\r"}, Kind::kUsageError, "arguments must not"},
        ToolCase{{"replay", "raw.txt", "--device", "kind=pbx", "line=2", "--device", "kind=modem",
                  "ring_timeout=10"},
                 Kind::kReplay,
                 "raw.txt",
                 "[device]\nkind = pbx\nline = 2\n[device]\nkind = modem\n"
                 "ring_timeout = 10\n"},
        ToolCase{{"replay"}, Kind::kUsageError, "replay needs the raw data file"},
        ToolCase{{"ports"}, Kind::kPorts, ""},
        ToolCase{{"ports", "COM5"}, Kind::kUsageError, "ports takes no arguments"},
        ToolCase{{"replay", "--config", "x"}, Kind::kUsageError, "replay needs"},
        ToolCase{{"replay", "raw.txt", "--config"}, Kind::kUsageError, "--config needs"},
        ToolCase{{"replay", "raw.txt", "line=2"}, Kind::kUsageError, "replay takes"},
        ToolCase{{"replay", "raw.txt", "--device", "line"}, Kind::kUsageError, "replay takes"},
        ToolCase{{"replay", "raw.txt", "--device", "init=AT\rATH"},
                 Kind::kUsageError,
                 "arguments must not"}));

}  // namespace
}  // namespace qelto::cidr
