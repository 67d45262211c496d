#include "ui/win32/button_glyphs.h"

#include <array>
#include <cstdint>
#include <functional>

namespace qelto {
namespace {

using Pixel = std::uint32_t;  // 0xAARRGGBB, as a 32-bit DIB holds it
constexpr Pixel kClear = 0x00000000;
// Colours of the 16-colour palette.
constexpr Pixel kGreen = 0xFF00FF00;
constexpr Pixel kDarkGreen = 0xFF008000;
constexpr Pixel kRed = 0xFFFF0000;
constexpr Pixel kMaroon = 0xFF800000;
constexpr Pixel kWhite = 0xFFFFFFFF;

using PixelAt = std::function<Pixel(int x, int y)>;

// The check mark as drawn: D dark rim, G green.
constexpr std::array<const char*, kButtonGlyphSize> kCheckMark = {
    "..................",  //
    "..................",  //
    "..............DD..",  //
    ".............DGGD.",  //
    "............DGGGD.",  //
    "...........DGGGD..",  //
    "..........DGGGD...",  //
    "..DD.....DGGGD....",  //
    ".DGGD...DGGGD.....",  //
    ".DGGGD.DGGGD......",  //
    "..DGGGDGGGD.......",  //
    "...DGGGGGD........",  //
    "....DGGGD.........",  //
    ".....DGD..........",  //
    "......D...........",  //
    "..................",  //
    "..................",  //
    "..................",  //
};

Pixel CheckMarkAt(int x, int y) {
  switch (kCheckMark[static_cast<std::size_t>(y)][x]) {
    case 'D':
      return kDarkGreen;
    case 'G':
      return kGreen;
    default:
      return kClear;
  }
}

Pixel NoEntryAt(int x, int y) {
  // Distances in half pixels from the centre, so that the disc is symmetric on an even grid.
  const int dx = 2 * x + 1 - kButtonGlyphSize;
  const int dy = 2 * y + 1 - kButtonGlyphSize;
  const int squared = dx * dx + dy * dy;
  if (squared > 16 * 16) return kClear;
  if (squared > 14 * 14) return kMaroon;
  if (y >= 7 && y <= 10 && x >= 4 && x <= 13) return kWhite;
  return kRed;
}

IconHandle MakeIcon(const PixelAt& pixelAt) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kButtonGlyphSize;
  info.bmiHeader.biHeight = -kButtonGlyphSize;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  BitmapHandle colour(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!colour || bits == nullptr) return nullptr;
  auto* pixels = static_cast<Pixel*>(bits);
  for (int y = 0; y < kButtonGlyphSize; ++y) {
    for (int x = 0; x < kButtonGlyphSize; ++x) pixels[y * kButtonGlyphSize + x] = pixelAt(x, y);
  }
  GdiFlush();
  // The alpha channel decides what shows; the mask only has to exist. Rows of a monochrome
  // bitmap are padded to 16 bits.
  constexpr int kMaskRowBytes = (kButtonGlyphSize + 15) / 16 * 2;
  const std::array<BYTE, kMaskRowBytes * kButtonGlyphSize> clearMask{};
  BitmapHandle mask(CreateBitmap(kButtonGlyphSize, kButtonGlyphSize, 1, 1, clearMask.data()));
  ICONINFO icon{};
  icon.fIcon = TRUE;
  icon.hbmColor = colour.get();
  icon.hbmMask = mask.get();
  return IconHandle(CreateIconIndirect(&icon));
}

}  // namespace

IconHandle CheckMarkGlyph() {
  return MakeIcon(CheckMarkAt);
}

IconHandle NoEntryGlyph() {
  return MakeIcon(NoEntryAt);
}

}  // namespace qelto
