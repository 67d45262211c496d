#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/win32/gdi_handles.h"
#include "ui/win32/window_setup.h"

namespace qelto {

// One showing of the message dialog: a modal dialog built from an in-memory template, laid out in
// pixels for a 334 x 122 client area at 96 dpi (scaled to the system's dpi), read right to left.
// The right-to-left layout mirrors the window; the controls are placed so that they keep their
// designed places on screen all the same. It stays above every other window, and takes the
// focus where Windows lets it, else flashes its taskbar button.
//
// How it ends: `ok_btn` 1, `yes_btn` 6, `no_btn` 7 (also Escape while `no_btn` is shown), the
// close box or the system menu's Close 2, Withdraw() 2. Escape does nothing while `no_btn` is
// hidden; Enter presses the focused button.
class Tmessage_frm {
 public:
  // `buttons`: one bit a button (1 yes, 2 no, 4 ok).
  Tmessage_frm(HINSTANCE instance, std::uint16_t buttons, std::wstring text);
  Tmessage_frm(const Tmessage_frm&) = delete;
  Tmessage_frm& operator=(const Tmessage_frm&) = delete;

  // Shows the dialog and waits, dispatching the thread's messages, until it ends; its result, or
  // -1 when it could not be shown.
  INT_PTR ShowModal(HWND owner);
  // Ends the dialog with 2 once control is back in its wait; at once if it is not up yet.
  void Withdraw();
  // The dialog's window while it is up, else null.
  HWND Handle() const { return hwnd_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void SetUpForm();
  void SetUpControls();
  void LayOut();
  void FocusFirstButton();
  void BringToFront();
  void OnCommand(int id, int code);
  INT_PTR Colour(HDC dc, HWND control);
  int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }

  HINSTANCE instance_;
  std::uint16_t buttons_;
  std::wstring text_;
  HWND hwnd_ = nullptr;
  bool withdrawn_ = false;
  int dpi_ = 96;
  AlertFonts fonts_;
  BrushHandle formBrush_;
  BrushHandle memoBrush_;
  IconHandle checkMark_;
  IconHandle noEntry_;
};

}  // namespace qelto
