#include "ui/status_timer.h"

#include <utility>

#include "common/texts.h"

namespace qelto {

std::string DeviceIndicatorText(std::int32_t count, std::int32_t highest) {
  return std::to_string(count) + "/" + std::to_string(highest);
}

std::string TrayTipText(const CallsWaiting& waiting) {
  if (waiting.longestMs <= kCallLateMs) return kTrayTip;
  return std::string(kTrayTip) + "\n" + kCallsNotWrittenTipText + ": " +
         std::to_string(waiting.count) + "\n" + kWaitMinutesTipText + ": " +
         std::to_string(waiting.longestMs / 60000);
}

StatusTimer::StatusTimer(TrayIcon& tray, StatusLabels& labels, MessageDialog& dialog,
                         const Clock& clock, DeviceCounters& devices, WriterControl& writer)
    : tray_(tray),
      labels_(labels),
      dialog_(dialog),
      clock_(clock),
      devices_(devices),
      writer_(writer) {}

void StatusTimer::Timer1Timer() {
  const CallsWaiting waiting = writer_.Waiting();
  ShowTip(waiting);
  Blink(waiting.longestMs > kCallLateMs);
  if (!DatabaseIndicator()) return;
  if (!DeviceIndicator()) return;
  writer_.ReconnectAndWrite();
}

void StatusTimer::ShowTip(const CallsWaiting& waiting) {
  std::string tip = TrayTipText(waiting);
  if (tip == tip_) return;
  tip_ = std::move(tip);
  tray_.SetTip(tip_);
}

void StatusTimer::Blink(bool late) {
  TrayImage image;
  if (++BlinkCount_ >= 2) {
    BlinkCount_ = 0;
    image = TrayImage::kApplication;
  } else {
    const bool allWell = writer_.DbConnected() && !late &&
                         devices_.MaxDeviceCount.load() == devices_.DeviceCount.load();
    image = allWell ? TrayImage::kGood : TrayImage::kBad;
  }
  if (image != shown_) {
    shown_ = image;
    tray_.SetImage(image);
  }
}

bool StatusTimer::DatabaseIndicator() {
  if (writer_.DbConnected()) {
    labels_.SetDatabaseIndicator(true, "Connected");
    dialog_.CloseMessageForm(kDatabaseAlertId);
    return true;
  }
  labels_.SetDatabaseIndicator(false, "not Connected");
  if (dialog_.IsMessageShowing() || writer_.ConnectAttempts() <= kConnectAttemptsBeforeAlert) {
    return true;
  }
  dialog_.ShowMessageForm(kButtonsOk, kDatabaseAlertText, kDatabaseAlertId);
  writer_.ResetConnectAttempts();
  return false;
}

bool StatusTimer::DeviceIndicator() {
  const std::int32_t count = devices_.DeviceCount.load();
  const std::int32_t highest = devices_.MaxDeviceCount.load();
  const std::string text = DeviceIndicatorText(count, highest);
  if (count == highest) {
    labels_.SetDeviceIndicator(true, text);
    dialog_.CloseMessageForm(kDeviceAlertId);
    return true;
  }
  labels_.SetDeviceIndicator(false, text);
  if (dialog_.IsMessageShowing() ||
      TicksSince(clock_.Tick(), devices_.LastDeviceTick.load()) <= kDeviceAlertWaitMs) {
    return true;
  }
  dialog_.ShowMessageForm(kButtonsOk, kDeviceAlertText, kDeviceAlertId);
  devices_.LastDeviceTick = clock_.Tick();
  return false;
}

}  // namespace qelto
