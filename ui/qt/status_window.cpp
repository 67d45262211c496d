#include "ui/qt/status_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QHideEvent>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "common/texts.h"
#include "ui/message_layout.h"
#include "ui/qt/message_fonts.h"
#include "ui/status_view.h"

namespace qelto {
namespace {

constexpr int kRefreshMs = 500;
constexpr int kHeadingPixels = kGroupBoxFontPixels;
constexpr QRgb kGoodColour = qRgb(0, 128, 0);
constexpr QRgb kBadColour = qRgb(192, 0, 0);

QFont BodyFont() {
  return MessageFont({"Tahoma"}, kMessageFontPixels, false);
}
// The alerts' bold face: "Nazanin", or on Linux its nearest kin "Nazli".
QFont HeadingFont() {
  return MessageFont({"Nazanin", "Nazli"}, kHeadingPixels, true);
}

bool HasArabicScript(const QString& text) {
  for (const QChar c : text) {
    if (c.script() == QChar::Script_Arabic) return true;
  }
  return false;
}

// A value without Persian in it (a path, a server, an error message) is laid out left to right
// inside the right-to-left window; otherwise a leading "/" or a trailing "." would jump to the
// other end.
QString Shown(const std::string& value) {
  const QString text = QString::fromStdString(value);
  if (text.isEmpty() || HasArabicScript(text)) return text;
  return QChar(0x200E) + text + QChar(0x200E);
}

QString ToneStyle(RowTone tone) {
  switch (tone) {
    case RowTone::kGood:
      return QStringLiteral("color: %1; font-weight: bold;").arg(QColor(kGoodColour).name());
    case RowTone::kBad:
      return QStringLiteral("color: %1; font-weight: bold;").arg(QColor(kBadColour).name());
    case RowTone::kPlain:
      break;
  }
  return {};
}

QLabel* ValueLabel() {
  auto* label = new QLabel;
  // At the start of the line, the right, also for a text laid out left to right.
  label->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// Updates the rows in place while their number stays, so that a selection survives the refresh.
void Fill(QFormLayout& form, const std::vector<StatusRow>& rows) {
  if (form.rowCount() != static_cast<int>(rows.size())) {
    while (form.rowCount() > 0) form.removeRow(0);
    for (std::size_t i = 0; i < rows.size(); ++i) form.addRow(new QLabel, ValueLabel());
  }
  for (int i = 0; i < form.rowCount(); ++i) {
    const StatusRow& row = rows[static_cast<std::size_t>(i)];
    auto* label = qobject_cast<QLabel*>(form.itemAt(i, QFormLayout::LabelRole)->widget());
    auto* value = qobject_cast<QLabel*>(form.itemAt(i, QFormLayout::FieldRole)->widget());
    label->setText(Shown(row.label) + QStringLiteral(":"));
    value->setText(Shown(row.value));
    value->setStyleSheet(ToneStyle(row.tone));
  }
}

QLabel* Heading(QWidget* parent) {
  auto* heading = new QLabel(parent);
  heading->setFont(HeadingFont());
  return heading;
}

QTableWidgetItem* Cell(const std::string& text, RowTone tone) {
  auto* item = new QTableWidgetItem(Shown(text));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  if (tone == RowTone::kGood) item->setForeground(QColor(kGoodColour));
  if (tone == RowTone::kBad) item->setForeground(QColor(kBadColour));
  return item;
}

}  // namespace

StatusWindow::StatusWindow(SnapshotSource snapshots, ReportMaker reports)
    : QWidget(nullptr, Qt::Window),
      snapshots_(std::move(snapshots)),
      reports_(std::move(reports)),
      databaseHeading_(Heading(this)),
      database_(new QFormLayout),
      devicesHeading_(Heading(this)),
      devices_(new QFormLayout),
      callsHeading_(Heading(this)),
      calls_(new QTableWidget(this)),
      noCalls_(new QLabel(this)),
      report_(new QPushButton(this)),
      reportPlace_(ValueLabel()) {
  setObjectName(QStringLiteral("status_frm"));
  setLayoutDirection(Qt::RightToLeft);
  setFont(BodyFont());
  setWindowIcon(QApplication::windowIcon());
  resize(620, 640);

  for (QFormLayout* form : {database_, devices_}) {
    form->setLabelAlignment(Qt::AlignLeading | Qt::AlignTop);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
  }
  calls_->setObjectName(QStringLiteral("calls"));
  calls_->setColumnCount(4);
  calls_->verticalHeader()->hide();
  calls_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  calls_->setSelectionBehavior(QAbstractItemView::SelectRows);
  for (int column = 0; column < 3; ++column) {
    calls_->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  }
  calls_->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
  calls_->horizontalHeader()->setFont(BodyFont());
  calls_->setMinimumHeight(120);
  report_->setObjectName(QStringLiteral("report_btn"));
  report_->setFont(MessageFont({"Nazanin", "Nazli"}, kMessageFontPixels, true));
  reportPlace_->setParent(this);
  reportPlace_->setObjectName(QStringLiteral("report_place"));

  // Everything but the report's line scrolls, so that the window fits a small screen at 150 %.
  auto* content = new QWidget;
  auto* layout = new QVBoxLayout(content);
  layout->addWidget(databaseHeading_);
  layout->addLayout(database_);
  layout->addSpacing(6);
  layout->addWidget(devicesHeading_);
  layout->addLayout(devices_);
  layout->addSpacing(6);
  layout->addWidget(callsHeading_);
  layout->addWidget(noCalls_);
  layout->addWidget(calls_, 1);
  auto* scroll = new QScrollArea;
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidget(content);
  // The body is no stop of Tab's: the calls' table scrolls itself, and the keys go from it to the
  // report's button, as they stand from the top (moved into the body, the table came after it).
  scroll->setFocusPolicy(Qt::NoFocus);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(report_);
  bottom->addWidget(reportPlace_, 1);
  auto* window = new QVBoxLayout(this);
  window->setContentsMargins(0, 0, 0, 0);
  window->addWidget(scroll, 1);
  bottom->setContentsMargins(9, 0, 9, 9);
  window->addLayout(bottom);
  setTabOrder(calls_, report_);

  refresh_.setInterval(kRefreshMs);
  connect(&refresh_, &QTimer::timeout, this, &StatusWindow::Refresh);
  connect(report_, &QPushButton::clicked, this, &StatusWindow::MakeReport);
  // Escape hides it, as closing does.
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
          &QWidget::close);
}

void StatusWindow::ShowAndRaise() {
  if (!shownBefore_) {
    shownBefore_ = true;
    if (const QScreen* shown = screen()) {
      const QRect area = shown->availableGeometry();
      resize(std::min(width(), area.width() * 9 / 10), std::min(height(), area.height() * 9 / 10));
    }
  }
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void StatusWindow::Refresh() {
  const StatusView view = BuildStatusView(snapshots_());
  setWindowTitle(QString::fromStdString(view.title));
  databaseHeading_->setText(QString::fromStdString(view.databaseHeading));
  Fill(*database_, view.database);
  devicesHeading_->setText(QString::fromStdString(view.devicesHeading));
  Fill(*devices_, view.devices);
  callsHeading_->setText(QString::fromStdString(view.callsHeading));
  QStringList columns;
  for (const std::string& column : view.callColumns) columns << QString::fromStdString(column);
  calls_->setHorizontalHeaderLabels(columns);
  calls_->setRowCount(static_cast<int>(view.calls.size()));
  for (int i = 0; i < calls_->rowCount(); ++i) {
    const CallRow& row = view.calls[static_cast<std::size_t>(i)];
    calls_->setItem(i, 0, Cell(row.time, RowTone::kPlain));
    calls_->setItem(i, 1, Cell(row.line, RowTone::kPlain));
    calls_->setItem(i, 2, Cell(row.number, RowTone::kPlain));
    calls_->setItem(i, 3, Cell(row.state, row.tone));
  }
  noCalls_->setText(QString::fromStdString(view.noCallsText));
  noCalls_->setVisible(view.calls.empty());
  report_->setText(QString::fromStdString(view.reportButton));
}

void StatusWindow::MakeReport() {
  const ReportOutcome outcome = reports_(snapshots_());
  // The path keeps its left-to-right order inside the Persian sentence.
  const std::string path = "\u200E" + outcome.path + "\u200E";
  if (!outcome.written) {
    reportPlace_->setText(QString::fromStdString(ReportFailedText(path, outcome.reason)));
    return;
  }
  // Read back: without a clipboard (no clipboard manager on Wayland, a session without one) the
  // text is not taken, and the technician must open the file instead.
  const QString text = QString::fromStdString(outcome.text);
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->setText(text);
  const bool copied = clipboard->text() == text;
  reportPlace_->setText(
      QString::fromStdString(copied ? ReportWrittenText(path) : ReportNotCopiedText(path, "")));
}

void StatusWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

void StatusWindow::showEvent(QShowEvent* event) {
  Refresh();
  refresh_.start();
  QWidget::showEvent(event);
}

void StatusWindow::hideEvent(QHideEvent* event) {
  refresh_.stop();
  QWidget::hideEvent(event);
}

}  // namespace qelto
