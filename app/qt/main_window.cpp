#include "app/qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>

namespace qelto {
namespace {
constexpr int kTimerIntervalMs = 500;
}

MainWindow::MainWindow(DriverBinding& driver, const Clock& clock, LogFiles& logFiles,
                       JournalStore& journal)
    : LabelDB(new QLabel(QStringLiteral("LabelDB"), this)),
      LabelUSB(new QLabel(QStringLiteral("LabelUSB"), this)),
      Button1(new QPushButton(QStringLiteral("Button1"), this)),
      form_(FormServices{*this, driver, clock, logFiles, journal}) {
  setWindowTitle(QStringLiteral("Caller ID"));
  setWindowFlags(Qt::FramelessWindowHint);
  setFixedSize(174, 179);
  LabelDB->setGeometry(8, 8, 158, 20);
  LabelUSB->setGeometry(8, 36, 158, 20);
  Button1->setGeometry(8, 140, 75, 25);
  Timer1.setInterval(kTimerIntervalMs);
  connect(&Timer1, &QTimer::timeout, this, [this] { form_.Timer1Timer(); });
  connect(Button1, &QPushButton::clicked, this, [this] { form_.Button1Click(); });
  form_.FormCreate();
}

MainWindow::~MainWindow() {
  form_.FormClose();
}

void MainWindow::EnableTimer(bool enabled) {
  if (enabled) {
    Timer1.start();
  } else {
    Timer1.stop();
  }
}

void MainWindow::RequestQuit() {
  // Queued, so that a quit asked for before the message loop runs still ends it once it starts.
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                            Qt::QueuedConnection);
}

void MainWindow::CloseFromOutside() {
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (!modal->close()) break;
  }
  form_.FormClose();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  form_.FormClose();
  event->accept();
}

}  // namespace qelto
