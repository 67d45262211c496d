#include "drivers/info_text.h"

namespace qelto::cidr {

std::string BuildInfoText(std::string_view product, const std::vector<InfoDevice>& devices) {
  std::string text(product);
  text += "\r\nVER ";
  text += kDriverVersion;
  text += "\r\nPorts " + std::to_string(devices.size()) + "\r\nDevices\r\n";
  for (const InfoDevice& device : devices) {
    text += device.label;
    text += device.connected ? ": Connected\r\n" : ": Disconnected\r\n";
  }
  return text;
}

std::string BuildInfoText(const SimulatedDevices& devices) {
  std::vector<InfoDevice> lines;
  for (int device = 1; device <= devices.count(); ++device) {
    lines.push_back({"Line " + std::to_string(device), devices.IsConnected(device)});
  }
  return BuildInfoText("POS CID Simulator", lines);
}

}  // namespace qelto::cidr
