#pragma once

#include "ui/message_layout.h"  // kButtonGlyphSize
#include "ui/win32/gdi_handles.h"

namespace qelto {

// Green check mark, for the buttons that confirm ("تاييد", "بله"), `size` pixels square (the
// 18-pixel drawing enlarged for a higher dpi). The system greys it for the disabled state.
IconHandle CheckMarkGlyph(int size);

// Red no-entry sign (a red disc crossed by a white bar), for the button that declines ("خير").
IconHandle NoEntryGlyph(int size);

}  // namespace qelto
