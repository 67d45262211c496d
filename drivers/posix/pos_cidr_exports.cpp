// The four entry points of libPOS_CIDR.so, the simulated caller-ID driver. Everything else in
// the library is hidden, so these are its whole interface.

#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <type_traits>

#include "device/driver_abi.h"
#include "drivers/posix/sim_driver.h"
#include "drivers/sim_settings.h"

#define QELTO_DRIVER_EXPORT __attribute__((visibility("default")))

namespace {

std::string SocketPathFromEnvironment() {
  return qelto::sim::ControlSocketPath(std::getenv(qelto::sim::kSocketVariable),
                                       std::getenv("XDG_RUNTIME_DIR"), ::getuid());
}

// The one driver of the process, made at the first call. Its destructor at process exit (or at
// unloading) withdraws the callback and joins the thread, so no thread outlives the code.
qelto::sim::SimDriver& Driver() {
  static qelto::sim::SimDriver driver(
      qelto::sim::ParseDeviceCount(std::getenv(qelto::sim::kDevicesVariable))
          .value_or(qelto::sim::kDefaultDeviceCount),
      SocketPathFromEnvironment);
  return driver;
}

}  // namespace

extern "C" {

QELTO_DRIVER_EXPORT const void* CIDR_CALL CIDR_Info() {
  try {
    return Driver().Info();
  } catch (const std::exception&) {
    return u"";  // out of memory: no text is safer than an exception crossing the C boundary
  }
}

QELTO_DRIVER_EXPORT std::int32_t CIDR_CALL CIDR_RegisterEvent(CIDR_EventCallback callback,
                                                              std::int32_t /*value*/) {
  try {
    return Driver().RegisterEvent(callback);
  } catch (const std::exception&) {
    return -1;
  }
}

// Present because the recorder insists on all four names; it never calls them.
QELTO_DRIVER_EXPORT std::int32_t CIDR_CALL CIDR_SaveLine(std::int32_t /*line*/) {
  return 0;
}
QELTO_DRIVER_EXPORT std::int32_t CIDR_CALL CIDR_PlayLine(std::int32_t /*line*/) {
  return 0;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&CIDR_Info), CIDR_InfoFunction>);
static_assert(std::is_same_v<decltype(&CIDR_RegisterEvent), CIDR_RegisterEventFunction>);
