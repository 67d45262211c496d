#include "ui/win32/button_glyphs.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

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

IconHandle MakeIcon(const PixelAt& pixelAt, int size) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  BitmapHandle colour(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!colour || bits == nullptr) return nullptr;
  auto* pixels = static_cast<Pixel*>(bits);
  // Each pixel of the drawing becomes a block of pixels: sharp edges at any size.
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      pixels[y * size + x] = pixelAt(x * kButtonGlyphSize / size, y * kButtonGlyphSize / size);
    }
  }
  GdiFlush();
  // The alpha channel decides what shows; the mask only has to exist, all clear. Rows of a
  // monochrome bitmap are padded to 16 bits.
  const std::vector<BYTE> clearMask(static_cast<std::size_t>((size + 15) / 16 * 2 * size));
  BitmapHandle mask(CreateBitmap(size, size, 1, 1, clearMask.data()));
  ICONINFO icon{};
  icon.fIcon = TRUE;
  icon.hbmColor = colour.get();
  icon.hbmMask = mask.get();
  return IconHandle(CreateIconIndirect(&icon));
}

}  // namespace

IconHandle CheckMarkGlyph(int size) {
  return MakeIcon(CheckMarkAt, size);
}

IconHandle NoEntryGlyph(int size) {
  return MakeIcon(NoEntryAt, size);
}

}  // namespace qelto
