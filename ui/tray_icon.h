#pragma once

#include <string>

namespace qelto {

// The pictures the tray icon shows: the application's own icon, and the two status icons.
enum class TrayImage { kNone, kApplication, kGood, kBad };

// The tip shown when the mouse rests on the tray icon.
inline constexpr const char* kTrayTip = "QELTO Caller Id";

// The recorder's icon in the system tray. Failures are neither reported nor retried: where there
// is no tray, the recorder runs on without its icon.
class TrayIcon {
 public:
  virtual ~TrayIcon() = default;
  // Adds the icon, showing the application icon, with its tip and its menu.
  virtual void Add() = 0;
  // Shows another picture.
  virtual void SetImage(TrayImage image) = 0;
  // Shows another tip (UTF-8; lines separated by "\n").
  virtual void SetTip(const std::string& tip) = 0;
  // Removes the icon.
  virtual void Remove() = 0;
};

// The two indicators of the (never shown) main window: green with a text when all is well, red
// otherwise.
class StatusLabels {
 public:
  virtual ~StatusLabels() = default;
  virtual void SetDatabaseIndicator(bool good, const std::string& text) = 0;
  virtual void SetDeviceIndicator(bool good, const std::string& text) = 0;
};

}  // namespace qelto
