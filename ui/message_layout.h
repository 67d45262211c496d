#pragma once

#include <cstdint>

namespace qelto {

// The message dialog's layout, the same for every window toolkit: pixels at 96 dpi, each place
// relative to the client area of the control's parent. The right-to-left reading order changes
// the direction of the texts, not these places.
struct LayoutPlace {
  int left;
  int top;
  int width;
  int height;
};
struct LayoutColour {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

inline constexpr int kMessageClientWidth = 334;
inline constexpr int kMessageClientHeight = 122;
inline constexpr LayoutPlace kGroupBoxPlace{8, 3, 319, 113};
// Inside the group box.
inline constexpr LayoutPlace kMemoPlace{8, 23, 301, 38};
inline constexpr LayoutPlace kYesButtonPlace{187, 67, 75, 29};
inline constexpr LayoutPlace kNoButtonPlace{55, 67, 75, 29};
// On the form itself, in front of the group box: centred across it, level with the other two
// (the group box starts 3 pixels down).
inline constexpr LayoutPlace kOkButtonPlace{129, 70, 75, 29};

inline constexpr LayoutColour kMessageFormColour{156, 209, 235};
inline constexpr LayoutColour kGroupBoxTextColour{255, 0, 0};
inline constexpr LayoutColour kMemoColour{255, 255, 204};
inline constexpr LayoutColour kMemoTextColour{0, 0, 128};

inline constexpr int kMessageFontPixels = 13;  // the form, the text and the buttons
inline constexpr int kGroupBoxFontPixels = 16;
// Side of the square glyphs on the buttons.
inline constexpr int kButtonGlyphSize = 18;

}  // namespace qelto
