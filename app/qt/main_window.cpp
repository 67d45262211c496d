#include "app/qt/main_window.h"

#include <cstdlib>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QSysInfo>

#include "ui/posix/support_files.h"
#include "ui/support_report.h"

namespace qelto {
namespace {

constexpr int kTimerIntervalMs = 500;

std::string BuildText() {
  return "Linux, Qt " QT_VERSION_STR ", " + QSysInfo::buildAbi().toStdString() +
         ", compiler " __VERSION__;
}

void Paint(QLabel* label, bool good, const std::string& text) {
  label->setText(QString::fromStdString(text));
  label->setStyleSheet(good ? QStringLiteral("background-color: #00ff00;")
                            : QStringLiteral("background-color: #ff0000;"));
}

}  // namespace

MainWindow::MainWindow()
    : LabelDB(new QLabel(QStringLiteral("LabelDB"), this)),
      LabelUSB(new QLabel(QStringLiteral("LabelUSB"), this)),
      Button1(new QPushButton(QStringLiteral("Button1"), this)) {
  setWindowTitle(QStringLiteral("Caller ID"));
  setWindowFlags(Qt::FramelessWindowHint);
  setFixedSize(174, 179);
  LabelDB->setObjectName(QStringLiteral("LabelDB"));
  LabelUSB->setObjectName(QStringLiteral("LabelUSB"));
  LabelDB->setGeometry(8, 8, 158, 20);
  LabelUSB->setGeometry(8, 36, 158, 20);
  Button1->setGeometry(8, 140, 75, 25);
  Timer1.setInterval(kTimerIntervalMs);
  // A coarse timer may fire up to 5% late; the writer's latency is measured in ticks.
  Timer1.setTimerType(Qt::PreciseTimer);
  // Queued: a tick that opens an alert waits inside the dialog's event loop, and Qt does not
  // deliver a timer's event again while its handler still runs. Run from a queued call instead,
  // the timer's own handler has returned, so it fires on and the next ticks run nested inside
  // the open alert, which is how an alert is withdrawn when its cause has gone.
  connect(
      &Timer1, &QTimer::timeout, this,
      [this] {
        if (form_) form_->Timer1Timer();
      },
      Qt::QueuedConnection);
  connect(Button1, &QPushButton::clicked, this, [this] {
    if (form_) form_->Button1Click();
  });
}

MainWindow::~MainWindow() {
  status_.reset();  // it reads the form
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

void MainWindow::EndProcessNow() {
  std::_Exit(0);
}

void MainWindow::SetDatabaseIndicator(bool good, const std::string& text) {
  Paint(LabelDB, good, text);
}

void MainWindow::SetDeviceIndicator(bool good, const std::string& text) {
  Paint(LabelUSB, good, text);
}

void MainWindow::CloseFromOutside() {
  // Often runs inside an alert's modal loop: the form withdraws the alert, and the quit follows
  // once the tick that waits in it has returned.
  if (form_) form_->FormClose();
}

void MainWindow::ExitChosen() {
  if (form_ && !form_->Closed()) form_->exit1Click();
}

void MainWindow::StatusChosen() {
  if (!form_ || form_->Closed()) return;
  if (!status_) {
    status_ = std::make_unique<StatusWindow>(
        [this] { return form_->TakeStatusSnapshot(); },
        [](const StatusSnapshot& snapshot) {
          const SupportFacts facts = GatherSupportFacts(QELTO_VERSION_TEXT, BuildText());
          return WriteSupportReport(BuildSupportReport(facts, snapshot));
        });
  }
  status_->ShowAndRaise();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (form_) form_->FormClose();
  event->accept();
}

}  // namespace qelto
