#include "app/qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMessageBox>
#include <cstdio>

#include "app/qt/startup_box.h"
#include "app/texts.h"

namespace qelto {
namespace {
constexpr int kTimerIntervalMs = 500;
}

MainWindow::MainWindow()
    : LabelDB(new QLabel(QStringLiteral("LabelDB"), this)),
      LabelUSB(new QLabel(QStringLiteral("LabelUSB"), this)),
      Button1(new QPushButton(QStringLiteral("Button1"), this)) {
  setWindowTitle(QStringLiteral("Caller ID"));
  setWindowFlags(Qt::FramelessWindowHint);
  setFixedSize(174, 179);
  LabelDB->setGeometry(8, 8, 158, 20);
  LabelUSB->setGeometry(8, 36, 158, 20);
  Button1->setGeometry(8, 140, 75, 25);
  Timer1.setInterval(kTimerIntervalMs);
  connect(&Timer1, &QTimer::timeout, this, [this] {
    if (form_) form_->Timer1Timer();
  });
  connect(Button1, &QPushButton::clicked, this, [this] {
    if (form_) form_->Button1Click();
  });
}

MainWindow::~MainWindow() {
  if (form_) form_->FormClose();
}

void MainWindow::Create(const FormServices& services) {
  form_ = std::make_unique<TMAIN_FRM>(services);
  form_->FormCreate();
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

// A plain message box stands in for the recorder's own message dialog until that is built; it
// keeps the rule of one message at a time.
std::int32_t MainWindow::ShowMessageForm(std::uint16_t buttons, const std::string& text,
                                         std::int32_t id) {
  if (messageShowing_) return kResultRefused;
  std::fprintf(stderr, "qelto-callerid: message %d: %s\n", static_cast<int>(id), text.c_str());
  std::fflush(stderr);
  if (IsOffscreen()) return buttons == kButtonsYesNo ? kResultNo : kResultOk;
  messageShowing_ = true;
  QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kMessageCaptionText),
                  QString::fromUtf8(text.c_str()),
                  buttons == kButtonsYesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
  box.setLayoutDirection(Qt::RightToLeft);
  const int answer = box.exec();
  messageShowing_ = false;
  if (answer == QMessageBox::Yes) return kResultYes;
  if (answer == QMessageBox::No) return kResultNo;
  return answer == QMessageBox::Ok ? kResultOk : kResultClosed;
}

void MainWindow::CloseFromOutside() {
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (!modal->close()) break;
  }
  if (form_) form_->FormClose();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (form_) form_->FormClose();
  event->accept();
}

}  // namespace qelto
