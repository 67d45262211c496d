#pragma once

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include "ui/tray_icon.h"
#include "ui/win32/gdi_handles.h"

namespace qelto {

// The message the shell sends to the main window for the icon's mouse events; lParam carries
// the mouse message.
inline constexpr UINT kTrayCallbackMessage = 0x7658;

// What the operator chose from the tray menu.
enum class TrayMenuChoice { kNothing, kStatus, kExit };

// The recorder's icon in the notification area, with its menu: the status window, then "EXIT".
// Without a notification area the recorder runs on without its icon. An icon the shell did not
// take, or lost (a change of picture failed), is added again on every tick and when the shell
// announces a new notification area, until the shell takes it.
class WinTrayIcon : public TrayIcon {
 public:
  // `window` receives kTrayCallbackMessage.
  WinTrayIcon(HINSTANCE instance, HWND window);
  WinTrayIcon(const WinTrayIcon&) = delete;
  WinTrayIcon& operator=(const WinTrayIcon&) = delete;

  void Add() override;
  void SetImage(TrayImage image) override;
  void SetTip(const std::string& tip) override;
  void Remove() override;

  // The notification area was made anew (Explorer restarted): adds the icon again, with the
  // picture it showed, if it was there.
  void AddAgain();
  // Opens the menu at the mouse cursor and waits for a choice.
  TrayMenuChoice ChooseFromMenu();

 private:
  // NIM_ADD with every field, the picture and tip it shows now.
  void TryToShow();
  void CopyTip(const std::string& tip);

  HWND window_;
  IconHandle application_;
  IconHandle GoodIcon;
  IconHandle BadIcon;
  MenuHandle PopupMenu1;
  NOTIFYICONDATAW TrayData{};
  bool added_ = false;  // between Add and Remove
  bool shown_ = false;  // the shell took the icon
};

}  // namespace qelto
