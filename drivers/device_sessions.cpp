#include "drivers/device_sessions.h"

#include "drivers/modem/modem_device.h"
#include "drivers/pbx/md5.h"
#include "drivers/pbx/pbx_session.h"

namespace qelto::cidr {

std::unique_ptr<DeviceSession> MakeDeviceSession(const DeviceConfig& config) {
  if (config.kind == DeviceKind::kPbx) {
    return std::make_unique<PbxSession>(config.line, config.pbx, &Md5Hex);
  }
  return std::make_unique<ModemDevice>(config.line, config.modem);
}

}  // namespace qelto::cidr
