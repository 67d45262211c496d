#pragma once

#include "ui/win32/gdi_handles.h"

namespace qelto {

// Side of the square glyphs on the message dialog's buttons, in pixels at 96 dpi.
inline constexpr int kButtonGlyphSize = 18;

// Green check mark, for the buttons that confirm ("تاييد", "بله"), `size` pixels square (the
// 18-pixel drawing enlarged for a higher dpi). The system greys it for the disabled state.
IconHandle CheckMarkGlyph(int size);

// Red no-entry sign (a red disc crossed by a white bar), for the button that declines ("خير").
IconHandle NoEntryGlyph(int size);

}  // namespace qelto
