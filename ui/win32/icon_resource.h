#pragma once

#include <windows.h>

#include "ui/win32/gdi_handles.h"

namespace qelto {

// Identifier of the application icon among the program's resources (resources/qelto.rc).
inline constexpr int kApplicationIconId = 1;

// The application icon, in the image nearest to `size` pixels square.
IconHandle LoadApplicationIcon(HINSTANCE instance, int size);

// An icon kept as a complete .ico file in a raw-data resource ("ICONGOD", "ICONBAD"), in the
// image the system finds best for `size` pixels square. Null when the resource is missing or
// malformed.
IconHandle LoadIconFileResource(HINSTANCE instance, const wchar_t* name, int size);

}  // namespace qelto
