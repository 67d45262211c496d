#include "ui/qt/message_fonts.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace qelto {

QString InstalledFamily(const QStringList& preferred) {
  for (const QString& family : preferred) {
    if (QFontDatabase::hasFamily(family)) return family;
  }
  const QStringList arabic = QFontDatabase::families(QFontDatabase::Arabic);
  if (!arabic.isEmpty()) return arabic.front();
  return QGuiApplication::font().family();
}

QFont MessageFont(const QStringList& preferred, int pixelSize, bool bold) {
  QFont font(InstalledFamily(preferred));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

}  // namespace qelto
