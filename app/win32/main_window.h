#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/form_host.h"
#include "app/form_services.h"
#include "app/main_form.h"
#include "common/win32/unique_handle.h"
#include "ui/tray_icon.h"
#include "ui/win32/gdi_handles.h"

namespace qelto {

class WinMessageDialog;
class WinStatusWindow;
class WinTrayIcon;

// The toolkit's side of the main window object on Win32: a window that is never shown, which
// receives the tray icon's messages and carries the 500 ms timer, the two status indicators and
// the hidden test button. The decisions are made by `TMAIN_FRM`.
//
// The end of the Windows session, a WM_CLOSE sent from outside (taskkill) and Ctrl+C in a console
// (kCloseFromOutsideMessage) run the orderly shutdown, as a termination signal does on Linux.
class MainWindow : public FormHost, public StatusLabels {
 public:
  // Posted by other threads to ask for the orderly shutdown.
  static constexpr UINT kCloseFromOutsideMessage = WM_APP + 1;

  // `workingFolder` (UTF-8): where the support report is written, beside the log.
  explicit MainWindow(HINSTANCE instance, std::string workingFolder = {});
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return hwnd_; }
  // Signalled once the shutdown has run.
  HANDLE ClosedEvent() const { return closed_.get(); }

  // Creates the main window object, which runs `FormCreate`. `services.host` and
  // `services.labels` are this window; `tray` and `dialog` are the ones in `services`.
  void Create(const FormServices& services, WinTrayIcon& tray, WinMessageDialog& dialog);
  // Dispatches the thread's messages until the shutdown asks the loop to end.
  static int RunMessageLoop();

  void EnableTimer(bool enabled) override;
  void RequestQuit() override;
  void EndProcessNow() override;
  void SetDatabaseIndicator(bool good, const std::string& text) override;
  void SetDeviceIndicator(bool good, const std::string& text) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateComponents();
  void OnTrayNotification(LPARAM mouseMessage);
  void CloseFromOutside();
  // The status window from the tray menu: made on first use, shown and brought to the front.
  void ShowStatus();
  // On every tick, nested ones too: the window's content anew while it is on screen.
  void RefreshStatus();
  std::string WriteSupportReport();
  LRESULT LabelColour(HDC dc, HWND label);

  HINSTANCE instance_;
  std::string workingFolder_;
  UINT taskbarCreated_;
  HWND hwnd_ = nullptr;
  HWND LabelDB = nullptr;
  HWND LabelUSB = nullptr;
  HWND Button1 = nullptr;
  bool databaseGood_ = false;
  bool deviceGood_ = false;
  BrushHandle green_;
  BrushHandle red_;
  UniqueHandle closed_;
  WinTrayIcon* tray_ = nullptr;
  WinMessageDialog* dialog_ = nullptr;
  std::unique_ptr<TMAIN_FRM> form_;
  std::unique_ptr<WinStatusWindow> status_;
  bool menuOpen_ = false;
};

}  // namespace qelto
