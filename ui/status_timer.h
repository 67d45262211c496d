#pragma once

#include <cstdint>
#include <string>

#include "common/clock.h"
#include "recording/device_counters.h"
#include "recording/writer_control.h"
#include "ui/message_dialog.h"
#include "ui/tray_icon.h"

namespace qelto {

// The devices are judged bad when their count has differed from the highest count for longer
// than this, in milliseconds.
inline constexpr std::uint32_t kDeviceAlertWaitMs = 15000;
// The database alert opens once more connection attempts than this have failed.
inline constexpr std::int32_t kConnectAttemptsBeforeAlert = 2;

// The device indicator's text: "<connected>/<highest>", e.g. "0/1".
std::string DeviceIndicatorText(std::int32_t count, std::int32_t highest);
// The tray's tip: kTrayTip, and while a call is late how many wait and for how many minutes.
std::string TrayTipText(const CallsWaiting& waiting);

// The status timer's tick: makes the tray icon blink with the state of the database and the
// devices, paints the two indicators, raises and withdraws the two alerts, and then runs the
// database writer. Alerts are modal: while one is open the dialog keeps the timer ticking, so
// ticks run nested inside the one that raised it; such nested ticks raise no second alert,
// withdraw the alert whose cause has gone, and keep writing calls. The tick that raised an alert
// ends when the alert closes, without writing.
class StatusTimer {
 public:
  StatusTimer(TrayIcon& tray, StatusLabels& labels, MessageDialog& dialog, const Clock& clock,
              DeviceCounters& devices, WriterControl& writer);

  void Timer1Timer();

  std::int32_t BlinkCount() const { return BlinkCount_; }

 private:
  // `late`: a call has waited longer than kCallLateMs, which makes the status bad.
  void Blink(bool late);
  void ShowTip(const CallsWaiting& waiting);
  // Each returns false when it raised an alert, which ends the tick.
  bool DatabaseIndicator();
  bool DeviceIndicator();

  TrayIcon& tray_;
  StatusLabels& labels_;
  MessageDialog& dialog_;
  const Clock& clock_;
  DeviceCounters& devices_;
  WriterControl& writer_;

  std::int32_t BlinkCount_ = 0;
  TrayImage shown_ = TrayImage::kApplication;  // the tray shows the application icon when added
  std::string tip_ = kTrayTip;                 // ... and this tip
};

}  // namespace qelto
