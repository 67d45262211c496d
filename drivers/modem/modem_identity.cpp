#include "drivers/modem/modem_identity.h"

#include <algorithm>
#include <cstddef>

namespace qelto::cidr {
namespace {

constexpr std::string_view kUsbPrefix = "USB\\";

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool IsHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// Takes `tag` followed by `digits` hexadecimal digits off the front of `text`.
std::optional<std::string> TakeField(std::string_view& text, std::string_view tag,
                                     std::size_t digits) {
  if (!text.starts_with(tag) || text.size() < tag.size() + digits) return std::nullopt;
  const std::string_view value = text.substr(tag.size(), digits);
  if (!IsHex(value)) return std::nullopt;
  text.remove_prefix(tag.size() + digits);
  return std::string(value);
}

// A serial number is one printable word; Windows' own instance parts hold "&".
bool IsSerialText(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](char c) { return c > ' ' && c < 0x7f && c != '\\'; });
}

bool Matches(const ModemIdentity& wanted, const ModemIdentity& listed) {
  return wanted.vendor == listed.vendor && wanted.product == listed.product &&
         (wanted.serial.empty() || wanted.serial == listed.serial);
}

std::vector<const ListedPort*> PortsWith(const ModemIdentity& wanted,
                                         const std::vector<ListedPort>& ports) {
  std::vector<const ListedPort*> found;
  for (const ListedPort& port : ports) {
    if (port.name.empty()) continue;
    const std::optional<ModemIdentity> identity = ParseModemIdentity(port.instance_id);
    if (identity && Matches(wanted, *identity)) found.push_back(&port);
  }
  return found;
}

}  // namespace

bool IsIdentityPort(std::string_view port) {
  return Upper(port.substr(0, kUsbPrefix.size())) == kUsbPrefix;
}

std::optional<ModemIdentity> ParseModemIdentity(std::string_view text) {
  const std::string upper = Upper(text);
  std::string_view rest = upper;
  if (!rest.starts_with(kUsbPrefix)) return std::nullopt;
  rest.remove_prefix(kUsbPrefix.size());
  ModemIdentity identity;
  const std::optional<std::string> vendor = TakeField(rest, "VID_", 4);
  const std::optional<std::string> product = vendor ? TakeField(rest, "&PID_", 4) : std::nullopt;
  if (!product) return std::nullopt;
  identity.vendor = *vendor;
  identity.product = *product;
  if (rest.starts_with("&MI_") && !TakeField(rest, "&MI_", 2)) return std::nullopt;
  if (rest.empty()) return identity;
  if (rest.front() != '\\' || !IsSerialText(rest.substr(1))) return std::nullopt;
  rest.remove_prefix(1);
  if (rest.find('&') == std::string_view::npos) identity.serial = std::string(rest);
  return identity;
}

std::string IdentityText(const ModemIdentity& identity) {
  std::string text = "USB\\VID_" + identity.vendor + "&PID_" + identity.product;
  if (!identity.serial.empty()) text += "\\" + identity.serial;
  return text;
}

FoundPort FindModemPort(std::string_view port, PortList& list) {
  if (!IsIdentityPort(port)) return {std::string(port), {}};
  const std::optional<ModemIdentity> wanted = ParseModemIdentity(port);
  if (!wanted) return {{}, "not a modem's identity; write it as USB\\VID_0572&PID_1340\\0001"};
  const std::vector<ListedPort> ports = list.Ports();
  const std::vector<const ListedPort*> found = PortsWith(*wanted, ports);
  if (found.empty()) return {{}, "not plugged in"};
  if (found.size() == 1) return {found.front()->name, {}};
  std::string names;
  for (const ListedPort* alike : found) names += (names.empty() ? "" : ", ") + alike->name;
  return {{},
          std::to_string(found.size()) + " modems alike, at " + names +
              ": without a serial number each must be named by its COM port"};
}

std::string PortSettingFor(const ListedPort& port, const std::vector<ListedPort>& ports) {
  const std::optional<ModemIdentity> identity = ParseModemIdentity(port.instance_id);
  if (!identity || PortsWith(*identity, ports).size() != 1) return port.name;
  return IdentityText(*identity);
}

std::string PortListing(const std::vector<ListedPort>& ports) {
  std::string text;
  for (const ListedPort& port : ports) {
    if (port.name.empty()) continue;
    std::string friendly = port.friendly_name.empty() ? port.name : port.friendly_name;
    for (char& c : friendly) {
      if (static_cast<unsigned char>(c) < ' ') c = ' ';
    }
    text += port.name + '\t' + friendly + '\t' + PortSettingFor(port, ports) + '\n';
  }
  return text;
}

}  // namespace qelto::cidr
