#include "app/win32/main_window.h"

#include <utility>

#include "app/win32/win_support_report.h"
#include "common/win32/wide_text.h"
#include "ui/status_view.h"
#include "ui/support_report.h"
#include "ui/win32/status_window.h"
#include "ui/win32/win_message_dialog.h"
#include "ui/win32/win_tray_icon.h"
#include "ui/win32/window_setup.h"

namespace qelto {
namespace {

constexpr wchar_t kClassName[] = L"TMAIN_FRM";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerIntervalMs = 500;
constexpr int kButton1Id = 1;
constexpr int kClientWidth = 174;
constexpr int kClientHeight = 179;

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, std::string workingFolder)
    : instance_(instance),
      workingFolder_(std::move(workingFolder)),
      // Broadcast by the shell when it makes the notification area anew (Explorer restarted).
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")),
      green_(CreateSolidBrush(RGB(0, 255, 0))),
      red_(CreateSolidBrush(RGB(255, 0, 0))),
      closed_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  RegisterWindowClassOnce(instance, kClassName, WindowProc,
                          reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  // A top-level window, never shown: a message-only window would miss the shell's broadcasts.
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, WS_POPUP, FALSE, 0);
  CreateWindowExW(0, kClassName, L"Caller ID", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                  this);
  CreateComponents();
}

MainWindow::~MainWindow() {
  status_.reset();
  if (form_) form_->FormClose();
  form_.reset();
  if (hwnd_) DestroyWindow(hwnd_);
  UnregisterClassW(kClassName, instance_);
}

void MainWindow::CreateComponents() {
  if (!hwnd_) return;
  auto child = [this](const wchar_t* kind, const wchar_t* text, DWORD style, int top, int height,
                      int id) {
    return CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, 8, top, 158, height, hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  };
  LabelDB = child(L"STATIC", L"LabelDB", SS_CENTER, 8, 20, 0);
  LabelUSB = child(L"STATIC", L"LabelUSB", SS_CENTER, 36, 20, 0);
  Button1 = child(L"BUTTON", L"Button1", BS_PUSHBUTTON, 140, 25, kButton1Id);
}

void MainWindow::Create(const FormServices& services, WinTrayIcon& tray, WinMessageDialog& dialog) {
  tray_ = &tray;
  dialog_ = &dialog;
  form_ = std::make_unique<TMAIN_FRM>(services);
  form_->FormCreate();
}

int MainWindow::RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

void MainWindow::EnableTimer(bool enabled) {
  if (enabled) {
    SetTimer(hwnd_, kTimerId, kTimerIntervalMs, nullptr);
  } else {
    KillTimer(hwnd_, kTimerId);
  }
}

void MainWindow::RequestQuit() {
  // Kept by the thread until its loop asks, so a quit asked for before the loop runs ends it
  // as soon as it starts; a dialog's loop that sees it ends and passes it on.
  PostQuitMessage(0);
  SetEvent(closed_.get());
  if (status_) status_->Hide();
}

void MainWindow::EndProcessNow() {
  // No library's detach code runs either: it could wait for the stuck writer.
  TerminateProcess(GetCurrentProcess(), 0);
}

void MainWindow::SetDatabaseIndicator(bool good, const std::string& text) {
  databaseGood_ = good;
  SetWindowTextW(LabelDB, WideFromUtf8(text).c_str());
  InvalidateRect(LabelDB, nullptr, TRUE);
}

void MainWindow::SetDeviceIndicator(bool good, const std::string& text) {
  deviceGood_ = good;
  SetWindowTextW(LabelUSB, WideFromUtf8(text).c_str());
  InvalidateRect(LabelUSB, nullptr, TRUE);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* window =
        static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    window->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return window->OnMessage(message, wParam, lParam);
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    if (tray_) tray_->AddAgain();
    return 0;
  }
  switch (message) {
    case WM_TIMER:
      // Also runs nested, inside the wait of a dialog that an earlier tick opened.
      if (wParam == kTimerId && form_) {
        form_->Timer1Timer();
        RefreshStatus();
      }
      return 0;
    case kTrayCallbackMessage:
      OnTrayNotification(lParam);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kButton1Id && form_) form_->Button1Click();
      return 0;
    case WM_CTLCOLORSTATIC:
      return LabelColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The process may be ended as soon as this returns: shut down now.
      if (wParam) CloseFromOutside();
      return 0;
    case WM_CLOSE:
    case kCloseFromOutsideMessage:
      CloseFromOutside();
      return 0;
    default:
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

void MainWindow::OnTrayNotification(LPARAM mouseMessage) {
  // The menu opens on the right button alone, and not while it is open already. It opens while
  // an alert waits too (this runs inside the alert's loop then): the status window shows why the
  // alert came, and "EXIT" does nothing, as the message dialog refuses a second dialog.
  if (LOWORD(mouseMessage) != WM_RBUTTONDOWN) return;
  if (menuOpen_ || !form_ || form_->Closed() || !tray_) return;
  menuOpen_ = true;
  const TrayMenuChoice choice = tray_->ChooseFromMenu();
  menuOpen_ = false;
  if (form_->Closed()) return;
  if (choice == TrayMenuChoice::kExit) form_->exit1Click();
  if (choice == TrayMenuChoice::kStatus) ShowStatus();
}

void MainWindow::ShowStatus() {
  if (!status_) {
    status_ = std::make_unique<WinStatusWindow>(instance_, [this] { return WriteSupportReport(); });
  }
  status_->Show(BuildStatusView(form_->TakeStatusSnapshot()));
}

void MainWindow::RefreshStatus() {
  // Hidden, it costs nothing: no snapshot is taken.
  if (!status_ || !status_->Visible() || !form_ || form_->Closed()) return;
  status_->Refresh(BuildStatusView(form_->TakeStatusSnapshot()));
}

std::string MainWindow::WriteSupportReport() {
  if (!form_ || form_->Closed()) return {};
  const std::string report =
      BuildSupportReport(WindowsSupportFacts(workingFolder_), form_->TakeStatusSnapshot());
  return SaveSupportReport(status_ ? status_->Handle() : hwnd_, report, workingFolder_);
}

void MainWindow::CloseFromOutside() {
  // Often runs inside an alert's modal loop: the form withdraws the alert, and the quit follows
  // once the tick that waits in it has returned.
  if (form_) {
    form_->FormClose();
  } else {
    RequestQuit();
  }
}

LRESULT MainWindow::LabelColour(HDC dc, HWND label) {
  const bool good = label == LabelDB ? databaseGood_ : deviceGood_;
  SetBkColor(dc, good ? RGB(0, 255, 0) : RGB(255, 0, 0));
  return reinterpret_cast<LRESULT>(good ? green_.get() : red_.get());
}

}  // namespace qelto
