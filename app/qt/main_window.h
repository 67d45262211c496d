#pragma once

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "app/form_host.h"
#include "app/form_services.h"
#include "app/main_form.h"
#include "ui/qt/status_window.h"
#include "ui/tray_icon.h"

namespace qelto {

// The toolkit's side of the main window object: a window that is never shown, the 500 ms timer,
// and the window's components, the two status indicators among them. The decisions are made by
// `TMAIN_FRM`.
class MainWindow : public QWidget, public FormHost, public StatusLabels {
  Q_OBJECT

 public:
  MainWindow();
  ~MainWindow() override;

  // Creates the main window object, which runs `FormCreate`. `services.host` and
  // `services.labels` are this window.
  void Create(const FormServices& services);
  TMAIN_FRM& Form() { return *form_; }

  void EnableTimer(bool enabled) override;
  void RequestQuit() override;
  void EndProcessNow() override;
  void SetDatabaseIndicator(bool good, const std::string& text) override;
  void SetDeviceIndicator(bool good, const std::string& text) override;

 public slots:
  // An orderly shutdown asked for from outside (a termination signal): the recorder shuts down as
  // if the operator had confirmed "EXIT", and an open dialog is withdrawn.
  void CloseFromOutside();
  // The tray menu's "EXIT".
  void ExitChosen();
  // The tray menu's status item: opens the status window, or brings it to the front.
  void StatusChosen();

 public:
  // The status window once it was opened; null before.
  StatusWindow* Status() { return status_.get(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QTimer Timer1;
  QLabel* LabelDB;
  QLabel* LabelUSB;
  QPushButton* Button1;
  std::unique_ptr<TMAIN_FRM> form_;
  std::unique_ptr<StatusWindow> status_;  // made when first asked for
};

}  // namespace qelto
