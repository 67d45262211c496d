// The four entry points of libPOS_CIDR.so, our caller-ID driver. Everything else in the library
// is hidden, so these are its whole interface.

#include <dlfcn.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <type_traits>

#include "device/driver_abi.h"
#include "drivers/cidr_driver.h"
#include "drivers/driver_config.h"
#include "drivers/driver_setup.h"
#include "drivers/posix/posix_driver_platform.h"
#include "drivers/sim/sim_settings.h"

#define QELTO_DRIVER_EXPORT __attribute__((visibility("default")))

extern "C" QELTO_DRIVER_EXPORT const void* CIDR_CALL CIDR_Info();

namespace {

// The folder this library was loaded from, or empty when the loader does not say.
std::string LibraryDirectory() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<const void*>(&CIDR_Info), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  const std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

qelto::cidr::DriverSetup LoadSetup() {
  return qelto::cidr::LoadDriverSetup(
      qelto::cidr::ConfigFileCandidates(LibraryDirectory()),
      qelto::cidr::ParseDeviceCount(std::getenv(qelto::cidr::kDevicesVariable))
          .value_or(qelto::cidr::kDefaultDeviceCount));
}

// The one driver of the process, made at the first call from the configuration file found
// then. Its destructor at process exit (or at unloading) withdraws the callback and joins the
// threads, so no thread outlives the code.
qelto::cidr::CidrDriver& Driver() {
  static qelto::cidr::CidrDriver driver = [] {
    qelto::cidr::DriverSetup setup = LoadSetup();
    return qelto::cidr::CidrDriver(std::move(setup.roster),
                                   std::make_unique<qelto::cidr::PosixDriverPlatform>(),
                                   std::move(setup.raw_log));
  }();
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
