#pragma once

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "app/form_host.h"
#include "app/main_form.h"

namespace qelto {

// The toolkit's side of the main window object: a window that is never shown, the 500 ms timer
// and the window's components. The decisions are made by `TMAIN_FRM`.
class MainWindow : public QWidget, public FormHost {
  Q_OBJECT

 public:
  // Creating the window runs `FormCreate`.
  MainWindow(DriverBinding& driver, const Clock& clock, LogFiles& logFiles, JournalStore& journal);
  ~MainWindow() override;

  TMAIN_FRM& Form() { return form_; }

  void EnableTimer(bool enabled) override;
  void RequestQuit() override;

 public slots:
  // An orderly shutdown asked for from outside (a termination signal): any open modal window is
  // closed first, then the recorder shuts down as if the operator had confirmed "EXIT".
  void CloseFromOutside();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QTimer Timer1;
  QLabel* LabelDB;
  QLabel* LabelUSB;
  QPushButton* Button1;
  TMAIN_FRM form_;
};

}  // namespace qelto
