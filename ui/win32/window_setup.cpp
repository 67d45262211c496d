#include "ui/win32/window_setup.h"

#include "ui/message_layout.h"
#include "ui/win32/icon_resource.h"
#include "ui/win32/message_fonts.h"

namespace qelto {

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

void RegisterWindowClassOnce(HINSTANCE instance, const wchar_t* name, WNDPROC procedure,
                             HBRUSH background) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (GetClassInfoExW(instance, name, &windowClass)) return;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kApplicationIconId));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = background;
  windowClass.lpszClassName = name;
  RegisterClassExW(&windowClass);
}

AlertFonts MakeAlertFonts(int dpi) {
  AlertFonts fonts;
  fonts.body = MessageFont(L"Tahoma", kMessageFontPixels, false, true, dpi);
  fonts.heading = MessageFont(L"Titr", kMessageFontPixels, true, true, dpi);
  fonts.button = MessageFont(L"Nazanin", kMessageFontPixels, true, true, dpi);
  fonts.group = MessageFont(L"MS Sans Serif", kGroupBoxFontPixels, false, false, dpi);
  return fonts;
}

}  // namespace qelto
