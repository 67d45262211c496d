#include "ui/qt/button_glyphs.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace qelto {
namespace {

using GlyphPainter = std::function<void(QPainter&)>;

QImage PaintGlyph(const GlyphPainter& paint) {
  QImage image(kButtonGlyphSize, kButtonGlyphSize, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paint(painter);
  return image;
}

// The disabled look: the same shape in light grey, so it reads as inactive on any background.
QImage Greyed(const QImage& normal) {
  QImage grey = normal.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < grey.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
    for (int x = 0; x < grey.width(); ++x) {
      const int level = 96 + qGray(line[x]) / 2;
      line[x] = qRgba(level, level, level, qAlpha(line[x]));
    }
  }
  return grey;
}

QIcon IconOf(const GlyphPainter& paint) {
  const QImage normal = PaintGlyph(paint);
  QIcon icon;
  icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
  icon.addPixmap(QPixmap::fromImage(Greyed(normal)), QIcon::Disabled);
  return icon;
}

void PaintCheckMark(QPainter& painter) {
  QPainterPath tick;
  tick.moveTo(2.5, 9.5);
  tick.lineTo(7.0, 14.0);
  tick.lineTo(15.5, 3.5);
  // A dark rim under the green stroke keeps the mark visible on light buttons.
  painter.setPen(QPen(QColor(0, 90, 0), 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(tick);
  painter.setPen(QPen(QColor(40, 190, 40), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(tick);
}

void PaintNoEntry(QPainter& painter) {
  painter.setPen(QPen(QColor(140, 0, 0), 1.0));
  painter.setBrush(QColor(220, 20, 20));
  painter.drawEllipse(QRectF(1.0, 1.0, 16.0, 16.0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawRect(QRectF(4.0, 7.5, 10.0, 3.0));
}

}  // namespace

QIcon CheckMarkIcon() {
  return IconOf(PaintCheckMark);
}

QIcon NoEntryIcon() {
  return IconOf(PaintNoEntry);
}

}  // namespace qelto
