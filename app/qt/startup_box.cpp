#include "app/qt/startup_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

#include "common/texts.h"

namespace qelto {
namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

void UseOffscreenPlatformWithoutDisplay() {
  if (IsSet("QT_QPA_PLATFORM") || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

bool IsOffscreen() {
  return QGuiApplication::platformName() == QLatin1String("offscreen");
}

void ShowStartupBox(const char* text, const std::string& detail) {
  std::fprintf(stderr, "qelto-callerid: %s: %s\n", kStartupBoxCaption, text);
  if (!detail.empty()) std::fprintf(stderr, "qelto-callerid: %s\n", detail.c_str());
  std::fflush(stderr);
  if (IsOffscreen()) return;
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kStartupBoxCaption),
                  QString::fromUtf8(text), QMessageBox::Ok);
  box.setLayoutDirection(Qt::RightToLeft);  // the texts are Persian
  box.exec();
}

}  // namespace qelto
