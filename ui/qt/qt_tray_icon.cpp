#include "ui/qt/qt_tray_icon.h"

#include <QAction>
#include <utility>

#include "common/texts.h"

// The macro declares a function of the global namespace, so it cannot stand inside ours.
static void RegisterIconResources() {
  Q_INIT_RESOURCE(icons);
}

namespace qelto {
namespace {

// The icons live in the adapters' static library, whose resources the linker drops unless they
// are registered by hand.
QIcon ResourceIcon(const char* path) {
  static const bool registered = (RegisterIconResources(), true);
  (void)registered;
  return QIcon(QString::fromLatin1(path));
}

}  // namespace

QIcon QtTrayIcon::ApplicationIcon() {
  return ResourceIcon(":/icons/app.ico");
}
QIcon QtTrayIcon::GoodIcon() {
  return ResourceIcon(":/icons/ICONGOD");
}
QIcon QtTrayIcon::BadIcon() {
  return ResourceIcon(":/icons/ICONBAD");
}

QtTrayIcon::QtTrayIcon(std::function<void()> exitChosen, std::function<void()> statusChosen)
    : application_(ApplicationIcon()), GoodIcon_(GoodIcon()), BadIcon_(BadIcon()) {
  if (statusChosen) {
    QAction* status1 = PopupMenu1.addAction(QString::fromUtf8(kStatusMenuText));
    status1->setObjectName(QStringLiteral("status1"));
    // The window is modeless: it opens (or comes to the front) even while an alert or the exit
    // question waits, and it opens no loop of its own.
    connect(status1, &QAction::triggered, this, std::move(statusChosen), Qt::QueuedConnection);
  }
  QAction* exit1 = PopupMenu1.addAction(QStringLiteral("EXIT"));
  exit1->setObjectName(QStringLiteral("exit1"));
  // Queued: the menu closes first, so the exit question is not opened from inside its loop.
  connect(exit1, &QAction::triggered, this, std::move(exitChosen), Qt::QueuedConnection);
  // The menu opens on the right button alone; a left click or a double click does nothing.
  tray_.setContextMenu(&PopupMenu1);
}

void QtTrayIcon::Add() {
  tray_.setIcon(application_);
  tray_.setToolTip(QString::fromUtf8(kTrayTip));
  tray_.show();
}

void QtTrayIcon::SetImage(TrayImage image) {
  switch (image) {
    case TrayImage::kGood:
      tray_.setIcon(GoodIcon_);
      break;
    case TrayImage::kBad:
      tray_.setIcon(BadIcon_);
      break;
    default:
      tray_.setIcon(application_);
      break;
  }
}

void QtTrayIcon::SetTip(const std::string& tip) {
  tray_.setToolTip(QString::fromStdString(tip));
}

void QtTrayIcon::Remove() {
  tray_.hide();
}

}  // namespace qelto
