#include "app/win32/console_close.h"

#include <atomic>

#include "app/win32/main_window.h"

namespace qelto {
namespace {

// The handler takes no context, so the window and the event it needs are the one piece of
// process-wide state here; set and cleared by the one relay.
std::atomic<HWND> relayWindow{nullptr};
std::atomic<HANDLE> relayClosed{nullptr};

constexpr DWORD kShutdownWaitMs = 5000;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  HWND window = relayWindow;
  if (window == nullptr) return FALSE;
  PostMessageW(window, MainWindow::kCloseFromOutsideMessage, 0, 0);
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    if (HANDLE closed = relayClosed) WaitForSingleObject(closed, kShutdownWaitMs);
  }
  return TRUE;
}

}  // namespace

ConsoleCloseRelay::ConsoleCloseRelay(HWND window, HANDLE closed) {
  relayWindow = window;
  relayClosed = closed;
  // Started from a console, the recorder takes its Ctrl+C as a console program would.
  AttachConsole(ATTACH_PARENT_PROCESS);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ConsoleCloseRelay::~ConsoleCloseRelay() {
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  relayWindow = nullptr;
  relayClosed = nullptr;
}

}  // namespace qelto
