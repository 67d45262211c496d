#include "ui/qt/message_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QPalette>
#include <QShowEvent>
#include <QTextDocument>
#include <QTextOption>

#include "ui/message_dialog.h"
#include "ui/message_layout.h"
#include "ui/qt/button_glyphs.h"
#include "ui/qt/message_fonts.h"

namespace qelto {
namespace {

constexpr QRect Geometry(LayoutPlace place) {
  return QRect(place.left, place.top, place.width, place.height);
}
constexpr QRgb Rgb(LayoutColour colour) {
  return qRgb(colour.red, colour.green, colour.blue);
}

constexpr QSize kClientSize(kMessageClientWidth, kMessageClientHeight);
constexpr QRect kGroupBoxGeometry = Geometry(kGroupBoxPlace);
constexpr QRect kMemoGeometry = Geometry(kMemoPlace);
constexpr QRect kYesGeometry = Geometry(kYesButtonPlace);
constexpr QRect kNoGeometry = Geometry(kNoButtonPlace);
constexpr QRect kOkGeometry = Geometry(kOkButtonPlace);
constexpr int kFontPixels = kMessageFontPixels;

constexpr QRgb kFormColour = Rgb(kMessageFormColour);
constexpr QRgb kMemoBackground = Rgb(kMemoColour);
constexpr QRgb kMemoForeground = Rgb(kMemoTextColour);

constexpr Qt::WindowFlags kWindowFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

// "Nazanin" is rarely installed on Linux; "Nazli" (Debian's fonts-farsiweb) is its nearest kin.
QFont ButtonFont() {
  return MessageFont({"Nazanin", "Nazli"}, kFontPixels, true);
}

void SetColour(QWidget& widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette palette = widget.palette();
  palette.setColor(role, colour);
  widget.setPalette(palette);
}

}  // namespace

Tmessage_frm::Tmessage_frm()
    : QDialog(nullptr, kWindowFlags),
      GroupBox1(this),
      no_btn(&GroupBox1),
      yes_btn(&GroupBox1),
      ok_btn(this),
      Memo1(&GroupBox1) {
  SetUpForm();
  SetUpGroupBox();
  SetUpMemo();
  SetUpButton(yes_btn, "yes_btn", kYesGeometry, CheckMarkIcon(), kResultYes);
  SetUpButton(no_btn, "no_btn", kNoGeometry, NoEntryIcon(), kResultNo);
  SetUpButton(ok_btn, "ok_btn", kOkGeometry, CheckMarkIcon(), kResultOk);
  ok_btn.raise();
  // Tab order: the group box (the text field in it is no tab stop, so its buttons), then ok_btn.
  setTabOrder(&yes_btn, &no_btn);
  setTabOrder(&no_btn, &ok_btn);
}

void Tmessage_frm::SetUpForm() {
  setObjectName(QStringLiteral("message_frm"));
  setFixedSize(kClientSize);
  setWindowIcon(QApplication::windowIcon());
  setLayoutDirection(Qt::RightToLeft);
  setFont(MessageFont({"Tahoma"}, kFontPixels, false));
  SetColour(*this, QPalette::Window, kFormColour);
  setAutoFillBackground(true);
}

void Tmessage_frm::SetUpGroupBox() {
  GroupBox1.setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1.setGeometry(kGroupBoxGeometry);
  GroupBox1.setLayoutDirection(Qt::LeftToRight);
  GroupBox1.setFont(MessageFont({"MS Sans Serif"}, kGroupBoxFontPixels, false));
  SetColour(GroupBox1, QPalette::Window, kFormColour);
  SetColour(GroupBox1, QPalette::WindowText, QColor(Rgb(kGroupBoxTextColour)));
  GroupBox1.setAutoFillBackground(true);
}

void Tmessage_frm::SetUpMemo() {
  Memo1.setObjectName(QStringLiteral("Memo1"));
  Memo1.setGeometry(kMemoGeometry);
  Memo1.setLayoutDirection(Qt::RightToLeft);
  Memo1.setReadOnly(true);
  Memo1.setUndoRedoEnabled(false);
  Memo1.setFrameShape(QFrame::NoFrame);
  Memo1.setFocusPolicy(Qt::NoFocus);
  Memo1.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1.setFont(MessageFont({"Titr"}, kFontPixels, true));
  SetColour(Memo1, QPalette::Base, kMemoBackground);
  SetColour(Memo1, QPalette::Text, kMemoForeground);
  // Every paragraph centred and read right to left, whatever text is put in later.
  QTextOption option = Memo1.document()->defaultTextOption();
  option.setAlignment(Qt::AlignHCenter);
  option.setTextDirection(Qt::RightToLeft);
  Memo1.document()->setDefaultTextOption(option);
}

void Tmessage_frm::SetUpButton(QPushButton& button, const char* name, QRect geometry,
                               const QIcon& glyph, int result) {
  button.setObjectName(QLatin1String(name));
  button.setGeometry(geometry);
  button.setFont(ButtonFont());
  SetColour(button, QPalette::ButtonText, Qt::black);
  button.setIcon(glyph);
  button.setIconSize(QSize(kButtonGlyphSize, kButtonGlyphSize));
  connect(&button, &QPushButton::clicked, this, [this, result] { done(result); });
}

void Tmessage_frm::reject() {
  if (!no_btn.isHidden()) no_btn.click();
}

void Tmessage_frm::closeEvent(QCloseEvent* event) {
  done(kResultClosed);
  event->accept();
}

void Tmessage_frm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  QPushButton& designedDefault = yes_btn.isHidden() ? ok_btn : yes_btn;
  if (!designedDefault.isHidden()) designedDefault.setDefault(true);
  for (QPushButton* button : {&yes_btn, &no_btn, &ok_btn}) {  // tab order
    if (!button->isHidden()) {
      button->setFocus(Qt::ActiveWindowFocusReason);
      return;
    }
  }
}

}  // namespace qelto
