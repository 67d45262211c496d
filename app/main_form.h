#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/form_host.h"
#include "app/form_services.h"
#include "common/clock.h"
#include "recording/call_journal.h"
#include "recording/call_queue.h"
#include "recording/call_writer.h"
#include "recording/call_writer_thread.h"
#include "recording/database.h"
#include "recording/device_counters.h"
#include "recording/device_texts.h"
#include "recording/recent_calls.h"
#include "ui/activity_log.h"
#include "ui/message_dialog.h"
#include "ui/status_snapshot.h"
#include "ui/status_timer.h"
#include "ui/tray_icon.h"

namespace qelto {

class DriverBinding;

// The main window object: owns the recorder's run-time state and carries the handlers of its
// start-up, shutdown, driver events, timer and tray menu. The window itself is never shown; the
// toolkit's side of it is the `FormHost`.
//
// Threads: `OnDeviceEvent` runs on the driver's thread. It touches only `CallQueue` (under its
// lock), the call journal and the log (each serialises its writes), the device counters (atomic
// words) and the writer thread's wake-up. The database work runs on the writer's thread (see
// CallWriterThread). Everything else runs on the user-interface thread.
class TMAIN_FRM {
 public:
  explicit TMAIN_FRM(const FormServices& services);
  TMAIN_FRM(const TMAIN_FRM&) = delete;
  TMAIN_FRM& operator=(const TMAIN_FRM&) = delete;

  // Creation: log opened, calls left in the journal queued again, tray icon added, settings
  // read, driver handler installed, timer enabled. When the settings cannot be read, the settings
  // alert is shown and the window closes.
  void FormCreate();
  // Shutdown; runs once, whichever way the recorder is closed. A close may come through the modal
  // loop of a dialog that a tick, the exit question or the settings alert is waiting in: the
  // dialog is then withdrawn and the shutdown runs at once, but what the suspended handlers still
  // use is released, and the message loop asked to end, only once the outermost of them has
  // returned.
  void FormClose();
  // One tick of the 500 ms timer.
  void Timer1Timer();
  // The tray menu's "EXIT": asks, and closes on Yes.
  void exit1Click();
  // Every driver event, on the driver's thread. A call is in the call journal before this
  // returns.
  void OnDeviceEvent(std::int32_t code, std::u16string_view text);
  // The hidden test button: queues a call on line 3 from 123456.
  void Button1Click();
  void WriteLog(std::string_view message) { log_.WriteLog(message); }

  bool Closed() const { return closed_; }
  // The database writer; null until the settings were read.
  CallWriter* Writer() { return writer_.get(); }
  // What the status tick uses of the writer: the writer itself, or its thread.
  WriterControl* Writing();
  LockedCallQueue& Queue() { return CallQueue; }
  const DeviceCounters& Devices() const { return devices_; }
  // What the status window shows, on the user-interface thread: copied from the writer's state,
  // the journal's count, the device counters and texts and the recent calls, without waiting for
  // the database or the driver.
  StatusSnapshot TakeStatusSnapshot() const;

 private:
  bool LoadServerConfig();
  void RecoverJournalledCalls();
  void OnCallEvent(std::int32_t code, std::u16string_view text);
  // Stamps the call with the current moment, journals it and queues it.
  void QueueCall(std::string line);
  void OnStatusEvent(std::u16string_view text);
  // Runs a handler that may wait in a dialog, and finishes a close that came meanwhile once the
  // last such handler has left the stack.
  template <typename Handler>
  void RunNestable(Handler&& handler);
  void ReleaseAfterClose();

  FormHost& host_;
  DriverBinding& driver_;
  const Clock& clock_;
  DurableFile& rejected_;
  SettingsSource& settings_;
  DatabaseFactory& databases_;
  TrayIcon& tray_;
  StatusLabels& labels_;
  MessageDialog& dialog_;

  LockedCallQueue CallQueue;
  ActivityLog log_;  // the log stream
  CallJournal journal_;
  DeviceCounters devices_;
  DeviceTexts deviceTexts_;
  RecentCalls recent_;
  DatabaseSettings databaseSettings_;  // as read at start, without the password
  std::size_t setAsideBefore_ = 0;     // records rejected-calls.txt held at start
  const std::string rejectedPlace_;
  std::string BranchCodeText;
  std::unique_ptr<Database> database_;  // in place of the connection and the insert query
  std::unique_ptr<CallWriter> writer_;
  std::unique_ptr<CallWriterThread> writerThread_;  // null when the writer runs inside the tick
  std::unique_ptr<StatusTimer> statusTimer_;

  // Set first thing at shutdown; driver events arriving from then on are ignored.
  std::atomic<bool> closing_{false};
  bool closed_ = false;
  int nestableHandlers_ = 0;  // handlers on the stack that may be waiting in a dialog
  bool releasePending_ = false;
  bool handlerInstalled_ = false;
  const bool useWriterThread_;
};

}  // namespace qelto
