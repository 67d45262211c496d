// The message dialog against Windows' own window manager (user32 under Wine): where it stands
// among the other windows on the screen.

#include "ui/win32/message_form.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/texts.h"
#include "common/win32/wide_text.h"
#include "ui/message_dialog.h"

namespace qelto {
namespace {

// A top-level window of the thread that makes it: the recorder's hidden main window, or the
// point-of-sale program's window in front.
HWND MakeWindow(const wchar_t* title, bool visible) {
  return CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 0,
                         0, 400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// 0 for the topmost window of the screen, counting down.
int ZOrderOf(HWND window) {
  int place = 0;
  for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT), ++place) {
    if (w == window) return place;
  }
  return -1;
}

struct KeptWindows {
  HWND one, two;
};

BOOL CALLBACK CloseUnlessKept(HWND window, LPARAM data) {
  const KeptWindows& kept = *reinterpret_cast<const KeptWindows*>(data);
  if (window != kept.one && window != kept.two) PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

// Closes every window of `thread` but the two given: whatever keeps a modal loop there running.
void CloseThreadWindowsBut(DWORD thread, HWND keep1, HWND keep2) {
  KeptWindows kept{keep1, keep2};
  EnumThreadWindows(thread, CloseUnlessKept, reinterpret_cast<LPARAM>(&kept));
}

// The alert opens over the point-of-sale program, owned by the recorder's hidden main window. It
// needs a taskbar button of its own (the owner has none), and stays above the program when the
// cashier brings the program to the front again.
TEST(MessageForm, StaysAboveTheProgramInFrontWithATaskbarButton) {
  HWND owner = MakeWindow(L"Caller ID", false);
  HWND pos = MakeWindow(L"Point of sale", true);
  if (owner == nullptr || pos == nullptr) GTEST_SKIP() << "no window station here";

  struct Seen {
    LONG exStyle = 0;
    int dialogPlace = -1;
    int posPlace = -1;
  } seen;
  const DWORD formThread = GetCurrentThreadId();
  std::atomic<bool> returned{false};
  std::thread cashier([&seen, &returned, pos, owner, formThread] {
    const std::wstring caption = WideFromUtf8(kMessageCaptionText);
    HWND dialog = nullptr;
    for (int i = 0; i < 200 && dialog == nullptr && !returned; ++i) {
      Sleep(50);
      dialog = FindWindowW(L"#32770", caption.c_str());
    }
    if (dialog != nullptr) {
      Sleep(200);  // the dialog is on screen and has tried to come to the front
      seen.exStyle = GetWindowLongW(dialog, GWL_EXSTYLE);
      SetWindowPos(pos, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
      SetForegroundWindow(pos);
      seen.dialogPlace = ZOrderOf(dialog);
      seen.posPlace = ZOrderOf(pos);
      PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
    // A dialog not found, or not closing, must not hold the test until ctest's time-out: after
    // 10 s everything the form's thread shows is closed, and after 10 s more the test ends.
    for (int i = 0; i < 200 && !returned; ++i) Sleep(50);
    if (!returned) CloseThreadWindowsBut(formThread, owner, pos);
    for (int i = 0; i < 200 && !returned; ++i) Sleep(50);
    if (!returned) {
      std::fputs("the message dialog's modal loop does not end\n", stderr);
      std::_Exit(1);
    }
  });
  Tmessage_frm form(GetModuleHandleW(nullptr), kOkButton, WideFromUtf8(kDatabaseAlertText));
  const INT_PTR result = form.ShowModal(owner);
  returned = true;
  cashier.join();
  DestroyWindow(pos);
  DestroyWindow(owner);

  EXPECT_EQ(result, kResultClosed);
  EXPECT_NE(seen.exStyle & WS_EX_TOPMOST, 0) << "not above other windows";
  EXPECT_NE(seen.exStyle & WS_EX_APPWINDOW, 0) << "no taskbar button";
  ASSERT_GE(seen.dialogPlace, 0) << "the dialog was not found";
  EXPECT_LT(seen.dialogPlace, seen.posPlace) << "the program in front covers the alert";
}

}  // namespace
}  // namespace qelto
