#pragma once

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "app/form_host.h"
#include "app/form_services.h"
#include "app/main_form.h"

namespace qelto {

// The toolkit's side of the main window object: a window that is never shown, the 500 ms timer
// and the window's components. The decisions are made by `TMAIN_FRM`.
class MainWindow : public QWidget, public FormHost {
  Q_OBJECT

 public:
  MainWindow();
  ~MainWindow() override;

  // Creates the main window object, which runs `FormCreate`. `services.host` is this window.
  void Create(const FormServices& services);
  TMAIN_FRM& Form() { return *form_; }

  void EnableTimer(bool enabled) override;
  void RequestQuit() override;
  std::int32_t ShowMessageForm(std::uint16_t buttons, const std::string& text,
                               std::int32_t id) override;

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
  std::unique_ptr<TMAIN_FRM> form_;
  bool messageShowing_ = false;
};

}  // namespace qelto
