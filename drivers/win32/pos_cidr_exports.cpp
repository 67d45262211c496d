// The four entry points of POS_CIDR.dll, our caller-ID driver for Windows: stdcall, exported
// under their plain names (the library is linked with --kill-at), and nothing else exported.

#include <windows.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "common/win32/wide_text.h"
#include "device/driver_abi.h"
#include "drivers/cidr_driver.h"
#include "drivers/driver_config.h"
#include "drivers/driver_setup.h"
#include "drivers/sim/sim_settings.h"
#include "drivers/win32/environment.h"
#include "drivers/win32/win32_driver_platform.h"

#define QELTO_DRIVER_EXPORT __declspec(dllexport)

extern "C" QELTO_DRIVER_EXPORT const void* CIDR_CALL CIDR_Info();

namespace {

// The folder this library was loaded from (UTF-8), or empty when Windows does not say.
std::string LibraryDirectory() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&CIDR_Info), &module)) {
    return {};
  }
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::string() : qelto::Utf8FromWide(path.substr(0, slash));
}

qelto::cidr::DriverSetup LoadSetup() {
  std::vector<std::string> candidates;
  if (const std::string folder = LibraryDirectory(); !folder.empty()) {
    candidates.push_back(folder + "\\" + qelto::cidr::kConfigFileName);
  }
  const std::optional<std::string> devices =
      qelto::cidr::EnvironmentValue(qelto::WideFromUtf8(qelto::cidr::kDevicesVariable).c_str());
  qelto::cidr::DriverSetup setup = qelto::cidr::LoadDriverSetup(
      candidates, qelto::cidr::ParseDeviceCount(devices ? devices->c_str() : nullptr)
                      .value_or(qelto::cidr::kDefaultDeviceCount));
  return setup;
}

// The one driver of the process, made at the first call from the configuration file found
// then. Never destroyed: at the process's end Windows has already stopped the driver's threads,
// and joining them under the loader's lock (or after an unloading) could hang the recorder.
qelto::cidr::CidrDriver& Driver() {
  static qelto::cidr::CidrDriver* const driver = [] {
    qelto::cidr::DriverSetup setup = LoadSetup();
    return std::make_unique<qelto::cidr::CidrDriver>(
               std::move(setup.roster), std::make_unique<qelto::cidr::Win32DriverPlatform>(),
               std::move(setup.raw_log))
        .release();
  }();
  return *driver;
}

}  // namespace

extern "C" {

QELTO_DRIVER_EXPORT const void* CIDR_CALL CIDR_Info() {
  try {
    return Driver().Info();
  } catch (...) {
    return u"";  // out of memory: no text is safer than an exception crossing into the recorder
  }
}

QELTO_DRIVER_EXPORT std::int32_t CIDR_CALL CIDR_RegisterEvent(CIDR_EventCallback callback,
                                                              std::int32_t /*value*/) {
  try {
    return Driver().RegisterEvent(callback);
  } catch (...) {
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
