// Fuzzes everything that reads text coming from the caller-ID driver: the information text (as
// 8-bit and as UTF-16), the version order, and the event texts that become call queue lines.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "device/driver_info.h"
#include "device/driver_text.h"
#include "recording/call_event.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The driver promises a NUL-terminated text; give the bytes two zero bytes at the end so they
  // are a valid text of either kind, and let AddressSanitizer catch any read beyond them.
  std::vector<std::uint8_t> text(data, data + size);
  text.push_back(0);
  text.push_back(0);
  if (text.size() % 2 != 0) text.push_back(0);

  const std::string version = qelto::DriverVersionOf(text.data());
  (void)qelto::VersionNotBelow(version, qelto::kRequiredDriverVersion);
  (void)qelto::ConnectedDeviceCountOf(text.data());
  (void)qelto::ExtractVersion(std::string(reinterpret_cast<const char*>(data), size));

  std::u16string event(size / 2, u'\0');
  std::memcpy(event.data(), data, event.size() * 2);
  const std::int32_t code = size > 0 ? static_cast<std::int8_t>(data[0]) : 0;
  if (qelto::ClassifyDeviceEvent(code, event) == qelto::DeviceEventKind::kCall) {
    const std::string line = qelto::MakeQueueLine(code, event);
    if (line.find(',') == std::string::npos) __builtin_trap();
  }
  (void)qelto::Utf16ToAnsi(event);
  return 0;
}
