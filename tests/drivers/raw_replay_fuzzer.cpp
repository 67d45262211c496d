// libFuzzer target over the replay of raw data files, which support receives from shops and so
// reads untrusted input: any bytes go through the record reader and, for the records among
// them, through the devices the driver runs, without fault and in bounded time. A record read
// must read back the same from the form the driver writes, and every row must carry a stamp.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/raw_record.h"
#include "drivers/sim/raw_reader.h"
#include "drivers/sim/raw_replay.h"

namespace {

using qelto::cidr::DeviceConfig;
using qelto::cidr::DeviceKind;
using qelto::cidr::ReplaySettings;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::vector<ReplaySettings> Settings() {
  DeviceConfig modem;
  modem.kind = DeviceKind::kModem;
  modem.line = 1;
  modem.modem.port = "/dev/ttyACM0";
  modem.modem.quiet_spell = std::chrono::seconds(1);
  DeviceConfig pbx;
  pbx.kind = DeviceKind::kPbx;
  pbx.line = 2;
  pbx.pbx.host = "pbx";
  pbx.pbx.user = "recorder";
  pbx.pbx.did_lines = {{"02155550003", 5}};
  return {{modem, "fuzz"}, {pbx, "fuzz"}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (std::string_view rest = text; !rest.empty();) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    std::string why;
    const auto record = qelto::cidr::ParseRawRecord(line, why);
    Check(record.has_value() == why.empty());
    if (!record) continue;
    const std::string again =
        qelto::cidr::FormatRawRecord(record->stamp, record->line, record->direction, record->bytes);
    const auto reread = qelto::cidr::ParseRawRecord(again.substr(0, again.size() - 1), why);
    Check(reread.has_value() && *reread == *record);
    // A leap second reads as the next minute's first.
    Check(qelto::cidr::FormatRawStamp(record->at) == record->stamp ||
          record->stamp.substr(17, 2) == "60");
  }
  std::vector<std::string> problems;
  const auto devices = qelto::cidr::ReplayRawData(text, "fuzz", Settings(), problems);
  for (const auto& device : devices) {
    Check(device.line >= 1 && !device.heading.empty());
    int calls = 0;
    for (const std::string& row : device.rows) {
      Check(row.size() > 25 && row[0] >= '0' && row[0] <= '9');
      if (row.find("  call     line ") != std::string::npos) ++calls;
    }
    Check(calls == device.calls);
  }
  return 0;
}
