#pragma once

#include <windows.h>

#include "ui/win32/gdi_handles.h"

namespace qelto {

// Whether a font family of that name is installed.
bool FontInstalled(const wchar_t* family);

// A font `pixels` high at 96 dpi (scaled to `dpi`) of `family`, or of Tahoma when `family` is not
// installed; in the Arabic character set when `arabic`.
FontHandle MessageFont(const wchar_t* family, int pixels, bool bold, bool arabic, int dpi);

}  // namespace qelto
