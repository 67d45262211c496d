// qelto-close-window.exe: sends WM_CLOSE to the recorder's hidden main window alone, as the
// installer does before an upgrade or an uninstall (packaging/windows/recorder_control.nsh).
// Unlike taskkill, which posts WM_CLOSE to every window of the process (an open alert first),
// the close then arrives inside the modal loop of whatever dialog is open.
// Exit code: 0 when the window took the message, 1 when there is no such window.

#include <windows.h>

int main() {
  HWND window = FindWindowW(L"TMAIN_FRM", L"Caller ID");
  if (window == nullptr) return 1;
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &result) != 0 ? 0 : 1;
}
