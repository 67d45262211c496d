#include "ui/qt/qt_tray_icon.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace qelto {
namespace {

// The icons are compiled into the program; a resource the linker dropped would give empty icons.
TEST(QtTrayIcon, IconsAreCompiledInAtTheirSizes) {
  const QList<QSize> application = QtTrayIcon::ApplicationIcon().availableSizes();
  EXPECT_EQ(application.size(), 6) << "16, 32, 48, 64, 128 and 256 px";
  for (const QIcon& status : {QtTrayIcon::GoodIcon(), QtTrayIcon::BadIcon()}) {
    const QList<QSize> sizes = status.availableSizes();
    EXPECT_EQ(sizes.size(), 5) << "16, 24, 32, 48 and 64 px";
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  }
}

TEST(QtTrayIcon, MenuHoldsExitWhichAsksTheMainWindow) {
  int exits = 0;
  QtTrayIcon tray([&exits] { ++exits; });
  tray.Add();
  auto* item = tray.findChild<QAction*>(QStringLiteral("exit1"));
  if (item == nullptr) {
    // The menu is no child of the tray object; find the action through the menus of the app.
    for (QWidget* widget : QApplication::allWidgets()) {
      if (auto* menu = qobject_cast<QMenu*>(widget)) {
        for (QAction* action : menu->actions()) {
          if (action->objectName() == QLatin1String("exit1")) item = action;
        }
      }
    }
  }
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text(), QStringLiteral("EXIT"));
  item->trigger();
  EXPECT_EQ(exits, 0) << "runs once the menu has closed, from the event loop";
  QCoreApplication::processEvents();
  EXPECT_EQ(exits, 1);
  tray.Remove();
}

}  // namespace
}  // namespace qelto
