#include "ui/qt/button_glyphs.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <functional>
#include <string>

namespace qelto {
namespace {

// The glyphs' colours and places on the buttons are checked on pictures of the whole dialog;
// here, what a button needs of an icon.

QImage ImageOf(const QIcon& icon, QIcon::Mode mode) {
  return icon.pixmap(QSize(kButtonGlyphSize, kButtonGlyphSize), mode)
      .toImage()
      .convertToFormat(QImage::Format_ARGB32);
}

struct GlyphCase {
  const char* name;
  std::function<QIcon()> make;
};

void PrintTo(const GlyphCase& c, std::ostream* out) {
  *out << c.name;
}

class ButtonGlyph : public testing::TestWithParam<GlyphCase> {};

TEST_P(ButtonGlyph, HasAColouredImageAndAGreyDisabledImageOfTheSameShape) {
  const QIcon icon = GetParam().make();
  const QImage normal = ImageOf(icon, QIcon::Normal);
  const QImage disabled = ImageOf(icon, QIcon::Disabled);
  ASSERT_EQ(normal.size(), QSize(kButtonGlyphSize, kButtonGlyphSize));
  ASSERT_EQ(disabled.size(), normal.size());
  int coloured = 0;
  for (int y = 0; y < normal.height(); ++y) {
    for (int x = 0; x < normal.width(); ++x) {
      const QRgb n = normal.pixel(x, y);
      const QRgb d = disabled.pixel(x, y);
      EXPECT_EQ(qAlpha(d), qAlpha(n)) << x << "," << y;
      if (qAlpha(d) > 0) {
        EXPECT_TRUE(qRed(d) == qGreen(d) && qGreen(d) == qBlue(d)) << x << "," << y;
      }
      if (qAlpha(n) == 255 && !(qRed(n) == qGreen(n) && qGreen(n) == qBlue(n))) ++coloured;
    }
  }
  EXPECT_GT(coloured, 20);
  EXPECT_EQ(qAlpha(normal.pixel(0, 0)), 0);  // a sign, not a filled square
}

INSTANTIATE_TEST_SUITE_P(Both, ButtonGlyph,
                         testing::Values(GlyphCase{"CheckMark", CheckMarkIcon},
                                         GlyphCase{"NoEntry", NoEntryIcon}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace qelto
