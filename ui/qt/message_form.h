#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QTextEdit>

class QCloseEvent;
class QShowEvent;

namespace qelto {

// The message dialog's window: a fixed 334 x 122 client area laid out for Persian text, with a
// read-only text field and up to three buttons. Every control sits at a fixed place; the
// right-to-left reading order changes the direction of the text, not the places.
//
// How it ends: `ok_btn` 1, `yes_btn` 6, `no_btn` 7 (also Escape while `no_btn` is shown), the
// close box 2. Escape does nothing while `no_btn` is hidden. Enter presses the focused button.
//
// The controls are the form's public fields, named as in the form designer; whoever shows the
// dialog sets their captions and visibility.
class Tmessage_frm : public QDialog {
  Q_OBJECT

 public:
  Tmessage_frm();

  QGroupBox GroupBox1;
  QPushButton no_btn;
  QPushButton yes_btn;
  QPushButton ok_btn;
  QTextEdit Memo1;

 public slots:
  // Escape (and anything else that asks the dialog to cancel): presses `no_btn` when it is shown,
  // otherwise keeps the dialog open.
  void reject() override;

 protected:
  // The close box, the system menu's Close, or a close() call: ends the dialog with 2.
  void closeEvent(QCloseEvent* event) override;
  // Opening: `yes_btn` becomes the default button when it is shown, else `ok_btn`; the focus goes
  // to the first shown button in tab order (`yes_btn`, `no_btn`, `ok_btn`).
  void showEvent(QShowEvent* event) override;

 private:
  void SetUpForm();
  void SetUpGroupBox();
  void SetUpMemo();
  void SetUpButton(QPushButton& button, const char* name, QRect geometry, const QIcon& glyph,
                   int result);
};

}  // namespace qelto
