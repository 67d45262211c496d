// libFuzzer target over the caller-ID block parser: any bytes from a modem, cut anywhere and
// mixed with time passing, port losses and reopenings, go through the line reader, the block
// parser, the call assembler and the dialogue of a ModemDevice without fault. Every event must
// keep the forms the recorder reads, and no deadline may lie in the past once its time was
// given, or the modem's thread would spin.
//
// Input: bytes for the modem, except these, which act instead:
//   0x01  one second passes     0x02  ten seconds pass
//   0x03  the port is lost      0x04  the port is opened again

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "drivers/modem/modem_device.h"

namespace {

using namespace std::chrono_literals;
using qelto::cidr::DeviceStep;
using qelto::cidr::DriverEvent;
using qelto::cidr::ModemDevice;

constexpr std::int32_t kLine = 7;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckEvent(const DriverEvent& event) {
  Check(!event.text.empty() && event.text.find(u'\0') == std::u16string::npos);
  if (event.code == 0) {
    Check(event.text.front() == u'S');
    for (const char16_t c : event.text) Check(c >= 0x20 && c < 0x7F);
    return;
  }
  Check(event.code == kLine && event.text.front() == u'C');
  Check(event.text.size() <= 1 + qelto::cidr::kMaxNumberDigits);
  for (std::size_t i = 1; i < event.text.size(); ++i) {
    Check(event.text[i] >= u'0' && event.text[i] <= u'9');
  }
}

void CheckStep(const DeviceStep& step) {
  for (const DriverEvent& event : step.events) CheckEvent(event);
}

// After the device was given the time `now`, nothing may be due any more.
void CheckDeadline(const ModemDevice& device, ModemDevice::TimePoint now) {
  const auto deadline = device.Deadline();
  Check(!deadline || *deadline > now);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qelto::cidr::ModemSettings settings;
  settings.port = "/dev/ttyACM0";
  ModemDevice device(kLine, settings);
  ModemDevice::TimePoint now{1h};
  CheckStep(device.OnOpened(now));
  std::string chunk;
  const auto feed = [&] {
    if (chunk.empty()) return;
    CheckStep(device.OnBytes(chunk, now));
    chunk.clear();
  };
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<char>(data[i]);
    if (byte < 0x01 || byte > 0x04) {
      chunk += byte;
      continue;
    }
    feed();
    if (byte == 0x01 || byte == 0x02) {
      now += byte == 0x01 ? 1s : 10s;
      CheckStep(device.OnTime(now));
      CheckDeadline(device, now);
    } else if (byte == 0x03) {
      CheckStep(device.OnLost("hang-up"));
      Check(!device.connected());
    } else {
      CheckStep(device.OnOpened(now));
    }
  }
  feed();
  now += 1h;
  CheckStep(device.OnTime(now));
  CheckDeadline(device, now);
  return 0;
}
