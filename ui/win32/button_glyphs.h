#pragma once

#include "ui/win32/gdi_handles.h"

namespace qelto {

// Side of the square glyphs on the message dialog's buttons, in pixels at 96 dpi.
inline constexpr int kButtonGlyphSize = 18;

// Green check mark, for the buttons that confirm ("تاييد", "بله"). The system greys it for the
// disabled state.
IconHandle CheckMarkGlyph();

// Red no-entry sign (a red disc crossed by a white bar), for the button that declines ("خير").
IconHandle NoEntryGlyph();

}  // namespace qelto
