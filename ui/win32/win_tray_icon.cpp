#include "ui/win32/win_tray_icon.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "common/texts.h"
#include "common/win32/wide_text.h"
#include "ui/win32/icon_resource.h"

namespace qelto {
namespace {

constexpr UINT kIconId = 1;
constexpr UINT_PTR kExitCommand = 1;
constexpr UINT_PTR kStatusCommand = 2;

}  // namespace

WinTrayIcon::WinTrayIcon(HINSTANCE instance, HWND window)
    : window_(window), PopupMenu1(CreatePopupMenu()) {
  const int size = GetSystemMetrics(SM_CXSMICON);
  application_ = LoadApplicationIcon(instance, size);
  GoodIcon = LoadIconFileResource(instance, L"ICONGOD", size);
  BadIcon = LoadIconFileResource(instance, L"ICONBAD", size);
  if (PopupMenu1) {
    AppendMenuW(PopupMenu1.get(), MF_STRING, kStatusCommand, WideFromUtf8(kStatusMenuText).c_str());
    AppendMenuW(PopupMenu1.get(), MF_STRING, kExitCommand, L"EXIT");
  }

  TrayData.cbSize = sizeof TrayData;
  TrayData.hWnd = window;
  TrayData.uID = kIconId;
  TrayData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  TrayData.uCallbackMessage = kTrayCallbackMessage;
  TrayData.hIcon = application_.get();
  CopyTip(kTrayTip);
  // Version 3: the callback's lParam is the mouse message itself.
  TrayData.uVersion = NOTIFYICON_VERSION;
}

void WinTrayIcon::Add() {
  added_ = true;
  shown_ = false;
  TryToShow();
}

void WinTrayIcon::TryToShow() {
  const UINT flags = TrayData.uFlags;
  TrayData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  // An add the shell timed out on may have been done all the same: then the icon is there to
  // modify.
  shown_ = Shell_NotifyIconW(NIM_ADD, &TrayData) || Shell_NotifyIconW(NIM_MODIFY, &TrayData);
  if (shown_) Shell_NotifyIconW(NIM_SETVERSION, &TrayData);
  TrayData.uFlags = flags;
}

void WinTrayIcon::SetImage(TrayImage image) {
  // At logon the notification area may not be up yet when the recorder starts: each tick tries
  // again until the icon is there.
  if (added_ && !shown_) TryToShow();
  HICON icon = application_.get();
  if (image == TrayImage::kGood) icon = GoodIcon.get();
  if (image == TrayImage::kBad) icon = BadIcon.get();
  if (icon == TrayData.hIcon) return;
  TrayData.hIcon = icon;
  TrayData.uFlags = NIF_ICON;
  // Gone with a notification area that ended (Explorer crashed): added again on the next tick.
  if (added_ && !Shell_NotifyIconW(NIM_MODIFY, &TrayData)) shown_ = false;
}

void WinTrayIcon::CopyTip(const std::string& tip) {
  const std::wstring wide = WideFromUtf8(tip);
  constexpr std::size_t kRoom = sizeof TrayData.szTip / sizeof TrayData.szTip[0];
  std::fill(std::begin(TrayData.szTip), std::end(TrayData.szTip), L'\0');
  wcsncpy(TrayData.szTip, wide.c_str(), kRoom - 1);
}

void WinTrayIcon::SetTip(const std::string& tip) {
  CopyTip(tip);
  const UINT flags = TrayData.uFlags;
  TrayData.uFlags = NIF_TIP;
  if (added_ && shown_ && !Shell_NotifyIconW(NIM_MODIFY, &TrayData)) shown_ = false;
  TrayData.uFlags = flags;
}

void WinTrayIcon::Remove() {
  Shell_NotifyIconW(NIM_DELETE, &TrayData);
  added_ = false;
  shown_ = false;
}

void WinTrayIcon::AddAgain() {
  if (added_) TryToShow();
}

TrayMenuChoice WinTrayIcon::ChooseFromMenu() {
  POINT cursor{};
  if (!PopupMenu1 || !GetCursorPos(&cursor)) return TrayMenuChoice::kNothing;
  // Without the foreground the menu would not close when the operator clicks elsewhere.
  SetForegroundWindow(window_);
  const UINT_PTR chosen = static_cast<UINT_PTR>(TrackPopupMenu(
      PopupMenu1.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, cursor.x,
      cursor.y, 0, window_, nullptr));
  PostMessageW(window_, WM_NULL, 0, 0);
  if (chosen == kExitCommand) return TrayMenuChoice::kExit;
  if (chosen == kStatusCommand) return TrayMenuChoice::kStatus;
  return TrayMenuChoice::kNothing;
}

}  // namespace qelto
