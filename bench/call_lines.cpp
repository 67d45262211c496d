#include "bench/call_lines.h"

#include <cstdio>

#include "recording/solar_date.h"

namespace qelto::bench {

std::vector<std::string> QueueLines(int count) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "%d,0912%07d", 1 + i % 4, i);
    lines.emplace_back(line);
  }
  return lines;
}

std::u16string CallEventText(const std::string& number) {
  std::u16string text = u"C";
  for (char digit : number) text += static_cast<char16_t>(digit);
  return text;
}

std::string InsertStatementFor(const QueuedCall& call, SqlDialect dialect) {
  const auto [line, number] = SplitQueueLine(call.line);
  return BuildCallInsertStatement(line, number, ToSolarDate(call.moment), "", "", dialect);
}

}  // namespace qelto::bench
