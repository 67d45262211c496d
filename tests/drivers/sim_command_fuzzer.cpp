// libFuzzer target: any bytes as a control line must parse and execute without fault, and an
// accepted line must keep its events within the forms the recorder reads.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "drivers/control/command_executor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  qelto::cidr::SimulatedDevices devices(3);
  const qelto::cidr::CommandOutcome outcome = qelto::cidr::ExecuteCommandLine(line, devices);
  if (outcome.reply.empty()) std::abort();
  if (outcome.event) {
    const qelto::cidr::DriverEvent& event = *outcome.event;
    const bool status = event.code == 0 && event.text.starts_with(u"S");
    const bool call = event.code > 0 && event.text.starts_with(u"C");
    if (!status && !call) std::abort();
    if (event.text.find(u'\0') != std::u16string::npos) std::abort();
  }
  return 0;
}
