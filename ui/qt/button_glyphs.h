#pragma once

#include <QIcon>

namespace qelto {

// Side of the square glyphs drawn on the message dialog's buttons, in pixels.
inline constexpr int kButtonGlyphSize = 18;

// Green check mark, for the buttons that confirm ("تاييد", "بله"). Holds a normal image and a
// greyed image for the disabled state.
QIcon CheckMarkIcon();

// Red no-entry sign (a red disc crossed by a white bar), for the button that declines ("خير").
// Holds a normal image and a greyed image for the disabled state.
QIcon NoEntryIcon();

}  // namespace qelto
