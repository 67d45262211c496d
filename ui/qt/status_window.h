#pragma once

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "ui/status_snapshot.h"
#include "ui/support_report.h"

class QCloseEvent;
class QHideEvent;
class QShowEvent;

namespace qelto {

// The status window of the tray menu's «وضعيت»: the database, the devices and the recent calls,
// Persian, right to left, in the alerts' fonts. One per recorder, modeless; closing it only hides
// it, as Escape does. While shown it takes a fresh snapshot every 500 ms; hidden, it costs nothing.
class StatusWindow : public QWidget {
  Q_OBJECT

 public:
  using SnapshotSource = std::function<StatusSnapshot()>;
  // Writes the support report; runs on the user-interface thread when the button is pressed.
  using ReportMaker = std::function<ReportOutcome(const StatusSnapshot&)>;

  StatusWindow(SnapshotSource snapshots, ReportMaker reports);

  // Shows the window, or brings it to the front when it is shown already.
  void ShowAndRaise();
  // Takes a snapshot and shows it.
  void Refresh();
  // The support report's button: writes the report, copies it to the clipboard, says where.
  void MakeReport();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  SnapshotSource snapshots_;
  ReportMaker reports_;
  QTimer refresh_;
  QLabel* databaseHeading_;
  QFormLayout* database_;
  QLabel* devicesHeading_;
  QFormLayout* devices_;
  QLabel* callsHeading_;
  QTableWidget* calls_;
  QLabel* noCalls_;
  QPushButton* report_;
  QLabel* reportPlace_;
  bool shownBefore_ = false;  // its first showing fits it to the screen
};

}  // namespace qelto
