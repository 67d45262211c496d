#include "drivers/modem/win32/setupapi_ports.h"

// clang-format off
#include <windows.h>
#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "common/win32/wide_text.h"
#include "drivers/modem/system_ports.h"

namespace qelto::cidr {
namespace {

struct DeviceListCloser {
  void operator()(void* list) const { SetupDiDestroyDeviceInfoList(list); }
};
using DeviceList = std::unique_ptr<void, DeviceListCloser>;

class RegistryKey {
 public:
  explicit RegistryKey(HKEY key) : key_(key == INVALID_HANDLE_VALUE ? nullptr : key) {}
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // A string value, or empty when there is none.
  std::wstring Text(const wchar_t* name) const {
    std::array<wchar_t, 256> value{};
    DWORD type = 0;
    DWORD size = sizeof(value) - sizeof(wchar_t);  // room for the end Windows may leave out
    if (key_ == nullptr ||
        RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
      return {};
    }
    return std::wstring(value.data());
  }

 private:
  HKEY key_;
};

std::wstring RegistryProperty(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property) {
  std::array<wchar_t, 256> value{};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(list, &device, property, &type,
                                         reinterpret_cast<BYTE*>(value.data()),
                                         sizeof(value) - sizeof(wchar_t), nullptr) ||
      type != REG_SZ) {
    return {};
  }
  return std::wstring(value.data());
}

std::wstring DeviceId(DEVINST instance) {
  std::array<wchar_t, MAX_DEVICE_ID_LEN + 1> id{};
  if (CM_Get_Device_IDW(instance, id.data(), MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return {};
  return std::wstring(id.data());
}

// An interface of a composite device (USB\VID_...&MI_00\...) has a made-up instance part;
// the serial number is in its parent's.
std::wstring InstanceId(const SP_DEVINFO_DATA& device) {
  std::wstring id = DeviceId(device.DevInst);
  DEVINST parent = 0;
  if (id.find(L"&MI_") != std::wstring::npos &&
      CM_Get_Parent(&parent, device.DevInst, 0) == CR_SUCCESS) {
    std::wstring parent_id = DeviceId(parent);
    if (parent_id.rfind(L"USB\\", 0) == 0) id = std::move(parent_id);
  }
  return id;
}

std::wstring PortName(HDEVINFO list, SP_DEVINFO_DATA& device) {
  const RegistryKey hardware(
      SetupDiOpenDevRegKey(list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
  std::wstring name = hardware.Text(L"PortName");
  if (!name.empty()) return name;
  // A modem on a port of its own (a built-in or add-on COM port) says which in its driver's key.
  const RegistryKey driver(
      SetupDiOpenDevRegKey(list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ));
  return driver.Text(L"AttachedTo");
}

bool Listed(const std::vector<ListedPort>& ports, const std::string& name) {
  return std::any_of(ports.begin(), ports.end(),
                     [&](const ListedPort& other) { return other.name == name; });
}

void AddClass(const GUID& device_class, std::vector<ListedPort>& ports) {
  const DeviceList list(SetupDiGetClassDevsW(&device_class, nullptr, nullptr, DIGCF_PRESENT));
  if (list.get() == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  for (DWORD index = 0; SetupDiEnumDeviceInfo(list.get(), index, &device); ++index) {
    const std::string name = Utf8FromWide(PortName(list.get(), device));
    // Printers' LPT ports share the class; a port listed twice (a modem and its port) once.
    if (name.rfind("COM", 0) != 0 || Listed(ports, name)) continue;
    std::wstring friendly = RegistryProperty(list.get(), device, SPDRP_FRIENDLYNAME);
    if (friendly.empty()) friendly = RegistryProperty(list.get(), device, SPDRP_DEVICEDESC);
    ports.push_back({name, Utf8FromWide(friendly), Utf8FromWide(InstanceId(device))});
  }
}

// The ports the serial drivers have made, of devices in other classes too (and those Wine makes
// for the host's serial devices): listed by name alone, with no identity.
void AddSerialComm(std::vector<ListedPort>& ports) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &opened) !=
      ERROR_SUCCESS) {
    return;
  }
  const RegistryKey key(opened);
  for (DWORD index = 0;; ++index) {
    std::array<wchar_t, 256> value_name{};
    DWORD length = value_name.size();
    if (RegEnumValueW(opened, index, value_name.data(), &length, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
      return;
    }
    const std::string name = Utf8FromWide(key.Text(value_name.data()));
    if (!name.empty() && !Listed(ports, name)) ports.push_back({name, {}, {}});
  }
}

}  // namespace

std::vector<ListedPort> SetupApiPortList::Ports() {
  std::vector<ListedPort> ports;
  AddClass(GUID_DEVCLASS_PORTS, ports);
  AddClass(GUID_DEVCLASS_MODEM, ports);
  AddSerialComm(ports);
  return ports;
}

std::unique_ptr<PortList> SystemPortList() {
  return std::make_unique<SetupApiPortList>();
}

std::string ConsoleText(std::string_view text) {
  return AnsiFromWide(WideFromUtf8(text));
}

}  // namespace qelto::cidr
