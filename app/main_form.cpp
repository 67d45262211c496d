#include "app/main_form.h"

#include "app/texts.h"
#include "device/driver_abi.h"
#include "device/driver_binding.h"
#include "device/driver_info.h"
#include "device/driver_text.h"
#include "recording/call_event.h"

namespace qelto {

TMAIN_FRM::TMAIN_FRM(FormHost& host, DriverBinding& driver, const Clock& clock, LogFiles& logFiles)
    : host_(host), driver_(driver), clock_(clock), log_(logFiles, clock) {}

void TMAIN_FRM::FormCreate() {
  // The call queue and its lock exist from construction on.
  log_.Open();
  WriteLog(kApplicationStartedText);

  // SEAM (tray icon): the status icons and the tray icon are added here once the tray subsystem
  // is built.
  BlinkCount = 0;

  if (!LoadServerConfig()) {
    // SEAM (message dialog): the settings alert is shown here before the window closes.
    FormClose();
    return;
  }
  LastDeviceTick_ = clock_.Tick();
  MaxDeviceCount_ = 1;
  DeviceCount_ = 0;
  LastConnectTick = clock_.Tick();
  ConnectAttempts = 0;
  DbConnected = false;
  driver_.RegisterCallerEvent(
      kRegisterEventValue,
      [this](std::int32_t code, const std::u16string& text) { OnDeviceEvent(code, text); });
  host_.EnableTimer(true);
}

bool TMAIN_FRM::LoadServerConfig() {
  // SEAM (settings file): reading the server settings and building the connection string arrive
  // with call recording. Until then there is nothing to read, and start-up goes on.
  return true;
}

void TMAIN_FRM::FormClose() {
  if (closed_) return;
  closed_ = true;
  // Withdraw the driver's handler before anything it touches is released: when this returns no
  // event is being handled and none will be.
  closing_ = true;
  if (driver_.DriverReady()) driver_.WithdrawCallerEvent();
  host_.EnableTimer(false);
  // SEAM (tray icon): the tray icon is removed here.
  WriteLog(kApplicationClosedText);
  log_.Close();
  host_.RequestQuit();
}

void TMAIN_FRM::Timer1Timer() {
  // SEAM (status timer): the tray blink, the indicators and the alerts, then the database writer,
  // are run from here once those subsystems are built.
}

void TMAIN_FRM::OnDeviceEvent(std::int32_t code, std::u16string_view text) {
  if (closing_) return;
  switch (ClassifyDeviceEvent(code, text)) {
    case DeviceEventKind::kStatus:
      OnStatusEvent(text);
      break;
    case DeviceEventKind::kCall:
      CallQueue.Append(MakeQueueLine(code, text));
      break;
    case DeviceEventKind::kIgnored:
      break;
  }
}

void TMAIN_FRM::OnStatusEvent(std::u16string_view text) {
  WriteLog(Utf16ToAnsi(text));
  const std::int32_t count = ConnectedDeviceCount(driver_);
  DeviceCount_ = count;
  LastDeviceTick_ = clock_.Tick();
  RaiseMaxDeviceCount(count);
}

void TMAIN_FRM::RaiseMaxDeviceCount(std::int32_t count) {
  // Two driver threads may report at once; the highest count must win.
  std::int32_t seen = MaxDeviceCount_.load();
  while (count > seen && !MaxDeviceCount_.compare_exchange_weak(seen, count)) {
  }
}

void TMAIN_FRM::Button1Click() {
  CallQueue.Append("3,123456");
}

}  // namespace qelto
