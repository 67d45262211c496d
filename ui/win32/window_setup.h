#pragma once

#include <windows.h>

#include "ui/win32/gdi_handles.h"

namespace qelto {

// The pixels per inch of the screen; 96 when it cannot be read.
int ScreenDpi();

// Registers the window class `name` with the application's icon and the arrow cursor, unless it
// is registered already: every window of a class is made by the same code, so the first
// registration holds for all. `background` may be null (the window paints its own).
void RegisterWindowClassOnce(HINSTANCE instance, const wchar_t* name, WNDPROC procedure,
                             HBRUSH background = nullptr);

// The alerts' fonts at `dpi`, shared by every window that looks like them: Tahoma for the text,
// Titr (bold) for the alert's message and the headings, Nazanin (bold) for the buttons, each
// Tahoma where it is not installed; and the group box's MS Sans Serif.
struct AlertFonts {
  FontHandle body;
  FontHandle heading;
  FontHandle button;
  FontHandle group;
};
AlertFonts MakeAlertFonts(int dpi);

}  // namespace qelto
