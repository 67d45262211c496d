#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

#include "ui/tray_icon.h"

namespace qelto {

// The recorder's icon in the system tray, with the right-click menu holding «وضعيت» (the status
// window) and "EXIT". Where no tray
// host runs (a bare server, the offscreen platform) the icon is simply not seen; Qt adds it when
// a tray host appears later.
class QtTrayIcon : public QObject, public TrayIcon {
  Q_OBJECT

 public:
  // `exitChosen` runs when the operator picks "EXIT" from the menu, `statusChosen` (when given)
  // when they pick the status item above it.
  explicit QtTrayIcon(std::function<void()> exitChosen,
                      std::function<void()> statusChosen = nullptr);

  void Add() override;
  void SetImage(TrayImage image) override;
  void SetTip(const std::string& tip) override;
  void Remove() override;

  // The pictures, loaded from the program's resources.
  static QIcon ApplicationIcon();
  static QIcon GoodIcon();
  static QIcon BadIcon();

 private:
  QIcon application_;
  QIcon GoodIcon_;
  QIcon BadIcon_;
  QMenu PopupMenu1;
  QSystemTrayIcon tray_;
};

}  // namespace qelto
