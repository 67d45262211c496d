#include "drivers/info_text.h"

namespace qelto::sim {

std::string BuildInfoText(const SimulatedDevices& devices) {
  std::string text = "POS CID Simulator\r\nVER ";
  text += kDriverVersion;
  text += "\r\nPorts " + std::to_string(devices.count()) + "\r\nDevices\r\n";
  for (int device = 1; device <= devices.count(); ++device) {
    text += "Line " + std::to_string(device) + ": ";
    text += devices.IsConnected(device) ? "Connected\r\n" : "Disconnected\r\n";
  }
  return text;
}

}  // namespace qelto::sim
