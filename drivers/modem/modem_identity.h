#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelto::cidr {

// A USB modem as Windows knows it, whatever COM port it was given: its vendor's and product's
// IDs and its serial number. Written as the device instance path Device Manager shows (the
// Details tab), USB\VID_0572&PID_1340\0001, or without the serial number, USB\VID_0572&PID_1340,
// for a modem that has none. Windows makes up a last part with "&" in it (5&2C1F3A0&0&2) for a
// device without a serial number; it changes with the USB socket, so it is taken as none. The
// "&MI_00" of a modem's interface is allowed and not compared.
struct ModemIdentity {
  std::string vendor;   // four hexadecimal digits, upper case
  std::string product;  // likewise
  std::string serial;   // upper case, as Windows keeps it; empty: the modem has none

  friend bool operator==(const ModemIdentity&, const ModemIdentity&) = default;
};

// Whether a `port =` names a modem by its identity (begins with "USB\" in any letter case)
// rather than by its port.
bool IsIdentityPort(std::string_view port);

// The identity in a device instance path, in any letter case; none when it is not one.
std::optional<ModemIdentity> ParseModemIdentity(std::string_view text);

// The written form: USB\VID_0572&PID_1340\0001, or USB\VID_0572&PID_1340.
std::string IdentityText(const ModemIdentity& identity);

// One serial port as the system lists it.
struct ListedPort {
  std::string name;           // COM9
  std::string friendly_name;  // USB Modem (COM9)
  std::string instance_id;    // USB\VID_0572&PID_1340\0001; ACPI\PNP0501\1 for a built-in port

  friend bool operator==(const ListedPort&, const ListedPort&) = default;
};

// The serial ports plugged in now (on Windows from SetupAPI).
class PortList {
 public:
  virtual ~PortList() = default;
  virtual std::vector<ListedPort> Ports() = 0;
};

// Where a configured port is now. A COM name or a path is itself, and the list is not asked;
// an identity is the one listed port whose device has it. `problem` is set instead of `name`
// when none has it ("not plugged in") or several do (modems without a serial number).
struct FoundPort {
  std::string name;
  std::string problem;
};
FoundPort FindModemPort(std::string_view port, PortList& list);

// What `port =` should say for `port` among `ports`: its identity when it is a USB device that
// the identity finds again wherever it is plugged in, else its COM name.
std::string PortSettingFor(const ListedPort& port, const std::vector<ListedPort>& ports);

// The list qelto-cidr-sim ports prints and the installer's modem page reads: one line a port,
// its name, its friendly name (its name when it has none) and PortSettingFor, separated by tabs;
// tabs and line breaks in a friendly name become blanks.
std::string PortListing(const std::vector<ListedPort>& ports);

}  // namespace qelto::cidr
