#pragma once

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/status_view.h"
#include "ui/win32/gdi_handles.h"
#include "ui/win32/window_setup.h"

namespace qelto {

// The status window on Win32: a modeless, resizable top-level window, read right to left, that
// shows a `StatusView` in the alerts' fonts: the database's and the devices' rows in one list,
// the recent calls in a second, and the support report's button with the text of its last
// result. There is one, made at the first Show; closing it only hides it. It knows nothing of
// where its content comes from: the caller hands in each view, and the report's action.
//
// Tab and Shift+Tab go round its lists and its button, Enter presses the button, Escape hides the
// window: the controls take these keys themselves, so they work in whichever loop serves the
// window, the program's or an alert's.
//
// Everything runs on the user-interface thread, also inside the modal loop of an alert: nothing
// here waits, and nothing that a suspended caller uses is destroyed before the destructor.
class WinStatusWindow {
 public:
  // Writes the support report; returns the text the window shows under its button.
  using ReportAction = std::function<std::string()>;

  // `dpi`: the pixels per inch to lay out for; 0 for the screen's.
  WinStatusWindow(HINSTANCE instance, ReportAction report, int dpi = 0);
  ~WinStatusWindow();
  WinStatusWindow(const WinStatusWindow&) = delete;
  WinStatusWindow& operator=(const WinStatusWindow&) = delete;

  // Shows `view`, making the window on first use, and brings it to the front.
  void Show(const StatusView& view);
  // Shows `view` if the window is on screen; does nothing while it is hidden.
  void Refresh(const StatusView& view);
  void Hide();
  bool Visible() const;
  HWND Handle() const { return hwnd_; }
  int Dpi() const { return dpi_; }
  // Presses the support report's button, as a click does.
  void PressReport();
  // What the window shows, for the tests: the rows of the status list (label, value), the
  // calls' rows (their columns), and the text under the button.
  std::vector<std::vector<std::wstring>> StatusRows() const;
  std::vector<std::vector<std::wstring>> CallRows() const;
  std::wstring ReportText() const;

 private:
  // One list's content as shown, kept to change only what changed on a refresh.
  struct ListContent {
    std::vector<std::vector<std::wstring>> rows;
    std::vector<RowTone> tones;
    std::vector<bool> headings;
  };

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR data);
  void MoveFocus(HWND from, bool backwards);
  int StatusRowsHeight() const;
  int ButtonWidth() const;
  void Make();
  void MakeControls();
  void LayOut();
  void Fill(const StatusView& view);
  void SetColumns(HWND list, const std::vector<std::wstring>& titles, bool header);
  static void Sync(HWND list, ListContent& shown, ListContent wanted);
  LRESULT CustomDraw(NMLVCUSTOMDRAW& draw);
  void DrawReportText(const DRAWITEMSTRUCT& draw);
  void DrawLeftToRight(const NMLVCUSTOMDRAW& draw, const std::wstring& text);
  int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }

  HINSTANCE instance_;
  ReportAction report_;
  int dpi_;
  HWND hwnd_ = nullptr;
  HWND statusList_ = nullptr;
  HWND callsHeading_ = nullptr;
  HWND callsList_ = nullptr;
  HWND noCalls_ = nullptr;
  HWND reportButton_ = nullptr;
  HWND reportText_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the keys last
  AlertFonts fonts_;
  BrushHandle background_;
  ListContent status_;
  ListContent calls_;
  std::wstring callColumns_;  // the columns' titles as set, joined
};

}  // namespace qelto
