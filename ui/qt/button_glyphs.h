#pragma once

#include <QIcon>

#include "ui/message_layout.h"  // kButtonGlyphSize

namespace qelto {

// Green check mark, for the buttons that confirm ("تاييد", "بله"). Holds a normal image and a
// greyed image for the disabled state.
QIcon CheckMarkIcon();

// Red no-entry sign (a red disc crossed by a white bar), for the button that declines ("خير").
// Holds a normal image and a greyed image for the disabled state.
QIcon NoEntryIcon();

}  // namespace qelto
