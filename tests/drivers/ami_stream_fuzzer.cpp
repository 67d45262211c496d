// libFuzzer target over the telephone system's device: any bytes from a manager interface, cut
// anywhere and mixed with time passing, lost connections and new ones, go through the message
// reader, the login, the Pings and the call logic without fault. Every event must keep the forms
// the recorder reads, the secret and the key never reach the raw data file, and no deadline may
// lie in the past once its time was given, or the device's thread would spin.
//
// Input: bytes from the server, except these, which act instead:
//   0x01  one second passes     0x02  ten seconds pass
//   0x03  the connection is lost     0x04  connected again

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "drivers/modem/modem_line.h"
#include "drivers/pbx/pbx_device.h"

namespace {

using namespace std::chrono_literals;
using qelto::cidr::DeviceStep;
using qelto::cidr::DriverEvent;
using qelto::cidr::PbxDevice;

constexpr std::int32_t kLine = 7;
constexpr std::int32_t kDidLine = 9;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string FakeMd5(std::string_view bytes) {
  return "key(" + std::string(bytes) + ")";
}

void CheckStep(const DeviceStep& step) {
  Check(step.send_shown.find("s3cr3t") == std::string::npos);
  for (const DriverEvent& event : step.events) {
    Check(!event.text.empty() && event.text.find(u'\0') == std::u16string::npos);
    if (event.code == 0) {
      Check(event.text.front() == u'S');
      for (const char16_t c : event.text) Check(c >= 0x20 && c < 0x7F);
      continue;
    }
    Check((event.code == kLine || event.code == kDidLine) && event.text.front() == u'C');
    Check(event.text.size() <= 1 + qelto::cidr::kMaxNumberDigits);
    for (std::size_t i = 1; i < event.text.size(); ++i) {
      Check(event.text[i] >= u'0' && event.text[i] <= u'9');
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qelto::cidr::PbxSettings settings;
  settings.host = "pbx";
  settings.user = "qelto";
  settings.secret = "s3cr3t";
  settings.did_lines = {{"100", kDidLine}};
  settings.trunks = {"SIP/"};
  PbxDevice device(kLine, settings, &FakeMd5);
  PbxDevice::TimePoint now{1h};
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
      const auto deadline = device.Deadline();
      Check(!deadline || *deadline > now);
    } else if (byte == 0x03) {
      CheckStep(device.OnLost("closed by the server"));
      Check(!device.connected());
    } else {
      CheckStep(device.OnOpened(now));
    }
    Check(device.RetryDelay() >= 1s && device.RetryDelay() <= 60s);
  }
  feed();
  return 0;
}
