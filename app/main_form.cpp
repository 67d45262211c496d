#include "app/main_form.h"

#include <utility>

#include "common/texts.h"
#include "device/driver_abi.h"
#include "device/driver_binding.h"
#include "device/driver_info.h"
#include "device/driver_text.h"
#include "recording/call_event.h"
#include "recording/database_factory.h"
#include "recording/database_target.h"
#include "recording/server_config.h"
#include "recording/settings_source.h"

namespace qelto {
namespace {

// How long a stop waits for the database writer to finish the statement it is in.
constexpr std::chrono::milliseconds kWriterStopGrace{1000};

DatabaseSettings SettingsWithoutPassword(const ServerConfig& config) {
  const DatabaseTarget target = DatabaseTargetFor(config);
  DatabaseSettings settings;
  settings.read = true;
  settings.settingsPath = config.path;
  settings.kind = target.kind;
  switch (target.kind) {
    case DatabaseKind::Sqlite:
      settings.place = target.path;
      break;
    case DatabaseKind::OdbcDsn:
      settings.place = target.dsn;
      break;
    case DatabaseKind::SqlServer:
      settings.place = target.server;
      settings.catalogue = target.database;
      break;
  }
  settings.integratedSecurity = config.integratedSecurity;
  if (!config.integratedSecurity) settings.user = config.user;
  settings.branchCode = config.BranchCodeText;
  return settings;
}

// Records of rejected-calls.txt: one line each.
std::size_t CountRecords(const std::string& text) {
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n' ? 1 : 0;
  if (!text.empty() && text.back() != '\n') ++lines;
  return lines;
}

}  // namespace

TMAIN_FRM::TMAIN_FRM(const FormServices& services)
    : host_(services.host),
      driver_(services.driver),
      clock_(services.clock),
      rejected_(services.rejected),
      settings_(services.settings),
      databases_(services.databases),
      tray_(services.tray),
      labels_(services.labels),
      dialog_(services.dialog),
      log_(services.logFiles, services.clock),
      journal_(services.journal, services.damagedJournal),
      rejectedPlace_(services.rejectedPlace.empty() ? kRejectedCallsFileName
                                                    : services.rejectedPlace),
      useWriterThread_(services.writerThread) {}

WriterControl* TMAIN_FRM::Writing() {
  if (writerThread_) return writerThread_.get();
  return writer_.get();
}

void TMAIN_FRM::FormCreate() {
  // The call queue and its lock exist from construction on.
  log_.Open();
  WriteLog(kApplicationStartedText);
  RecoverJournalledCalls();
  deviceTexts_.SetInfo(DriverInfoText(driver_));
  tray_.Add();

  if (!LoadServerConfig()) {
    RunNestable(
        [this] { dialog_.ShowMessageForm(kButtonsOk, kSettingsAlertText, kSettingsMessageId); });
    FormClose();
    return;
  }
  devices_.LastDeviceTick = clock_.Tick();
  devices_.MaxDeviceCount = 1;
  devices_.DeviceCount = 0;
  if (useWriterThread_) writerThread_ = std::make_unique<CallWriterThread>(*writer_, *database_);
  statusTimer_ =
      std::make_unique<StatusTimer>(tray_, labels_, dialog_, clock_, devices_, *Writing());
  handlerInstalled_ = true;
  driver_.RegisterCallerEvent(
      kRegisterEventValue,
      [this](std::int32_t code, const std::u16string& text) { OnDeviceEvent(code, text); });
  host_.EnableTimer(true);
}

bool TMAIN_FRM::LoadServerConfig() {
  std::string content, osError;
  if (!settings_.Read(content, osError)) {
    WriteLog(CannotOpenFileMessage(settings_.Path(), osError));
    return false;
  }
  const ServerConfig config = ParseServerConfig(content, settings_.Path());
  if (!config.ok) {
    WriteLog(config.error);
    return false;
  }
  if (!config.integratedSecurity && settings_.ReadableByOthers()) {
    WriteLog("Warning: " + settings_.Path() +
             " holds the database password and every user of this computer can read it: make "
             "it readable by its owner and group only (chmod o-r)");
  }
  BranchCodeText = config.BranchCodeText;
  databaseSettings_ = SettingsWithoutPassword(config);
  setAsideBefore_ = CountRecords(rejected_.ReadAll().value_or(std::string()));
  database_ = databases_.Create(config);
  // The writer's connection state starts here: not connected, and the first attempt only after
  // 15 s have passed.
  writer_ = std::make_unique<CallWriter>(
      *database_, CallQueue, journal_, rejected_, log_, clock_,
      CallWriter::Branch{config.BranchColumnText, config.BranchValueText}, &recent_);
  return true;
}

void TMAIN_FRM::FormClose() {
  if (closed_) return;
  closed_ = true;
  // Withdraw the driver's handler before anything it touches is released: when this returns no
  // event is being handled and none will be.
  closing_ = true;
  if (handlerInstalled_) driver_.WithdrawCallerEvent();
  host_.EnableTimer(false);
  // Asked for from outside while a dialog waits for the operator: nobody will answer it now.
  dialog_.CloseAny();
  // Calls still queued stay in the journal for the next run. A writer stuck in the database is
  // not waited for beyond a moment: the process ends without it.
  const bool writerEnded = !writerThread_ || writerThread_->Stop(kWriterStopGrace);
  tray_.Remove();
  WriteLog(kApplicationClosedText);
  log_.Close();
  if (!writerEnded) {
    host_.EndProcessNow();
    return;
  }
  // Come through a dialog's modal loop: the handler waiting in that dialog resumes once it has
  // been withdrawn, the tick that opened an alert on the writer. Released after it has returned.
  if (nestableHandlers_ > 0) {
    releasePending_ = true;
    return;
  }
  ReleaseAfterClose();
}

void TMAIN_FRM::ReleaseAfterClose() {
  releasePending_ = false;
  // The status timer reads the writer's state: it goes first, so nothing points at a freed writer.
  statusTimer_.reset();
  writerThread_.reset();
  if (database_) database_->Close();
  host_.RequestQuit();
}

template <typename Handler>
void TMAIN_FRM::RunNestable(Handler&& handler) {
  {
    struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{++nestableHandlers_};
    handler();
  }
  if (nestableHandlers_ == 0 && releasePending_) ReleaseAfterClose();
}

void TMAIN_FRM::Timer1Timer() {
  if (statusTimer_ && !closed_) RunNestable([this] { statusTimer_->Timer1Timer(); });
}

void TMAIN_FRM::exit1Click() {
  if (closed_) return;
  std::int32_t answer = kResultClosed;
  RunNestable([this, &answer] {
    answer = dialog_.ShowMessageForm(kButtonsYesNo, kExitQuestionText, kSettingsMessageId);
  });
  if (answer == kResultYes) FormClose();
}

void TMAIN_FRM::OnDeviceEvent(std::int32_t code, std::u16string_view text) {
  if (closing_) return;
  switch (ClassifyDeviceEvent(code, text)) {
    case DeviceEventKind::kStatus:
      OnStatusEvent(text);
      break;
    case DeviceEventKind::kCall:
      OnCallEvent(code, text);
      break;
    case DeviceEventKind::kIgnored:
      break;
  }
}

void TMAIN_FRM::RecoverJournalledCalls() {
  CallJournal::Recovery recovery = journal_.Recover();
  for (const std::string& problem : recovery.problems) WriteLog("Error: " + problem);
  // They have waited since the start, as far as this run can tell.
  const std::uint32_t now = clock_.Tick();
  for (QueuedCall& call : recovery.pending) {
    call.queuedTick = now;
    call.recentKey = recent_.Add(call, true);
    CallQueue.Append(std::move(call));
  }
}

void TMAIN_FRM::OnCallEvent(std::int32_t code, std::u16string_view text) {
  QueueCall(MakeQueueLine(code, text));
}

void TMAIN_FRM::QueueCall(std::string line) {
  QueuedCall call;
  call.moment = clock_.Now();
  call.queuedTick = clock_.Tick();
  call.line = std::move(line);
  if (std::string problem; !journal_.Record(call, problem)) {
    WriteLog("Error: Call journal: " + problem + "; the call " + call.line +
             " is kept in memory only");
  }
  call.recentKey = recent_.Add(call, false);
  CallQueue.Append(std::move(call));
  // Written at once, while the telephone still rings, rather than at the next tick.
  if (writerThread_) writerThread_->Wake();
}

void TMAIN_FRM::OnStatusEvent(std::u16string_view text) {
  std::string line = Utf16ToAnsi(text);
  WriteLog(line);
  // The information text is read once here, for the count and for the status window.
  const void* info = driver_.Info();
  std::int32_t count = 0;
  try {
    count = ConnectedDeviceCountOf(info);
  } catch (...) {
    // A failure while scanning (memory) must not reach the driver's thread: no device counted.
  }
  deviceTexts_.SetInfo(InfoTextOf(info));
  deviceTexts_.SetLastStatus(line.substr(line.empty() ? 0 : 1), clock_.Now());
  devices_.DeviceCount = count;
  devices_.LastDeviceTick = clock_.Tick();
  devices_.RaiseMaxDeviceCount(count);
}

StatusSnapshot TMAIN_FRM::TakeStatusSnapshot() const {
  StatusSnapshot snapshot;
  snapshot.taken = clock_.Now();
  DatabaseStatus& database = snapshot.database;
  database.settings = databaseSettings_;
  database.journalPending = journal_.PendingCount();
  database.setAside = setAsideBefore_;
  database.setAsideFile = rejectedPlace_;
  if (writer_) {
    const CallWriter::Status status = writer_->TakeStatus();
    database.connected = status.connected;
    database.since = status.since;
    database.lastError = status.lastError;
    database.lastErrorAt = status.lastErrorAt;
    database.setAside += status.setAside;
    database.waiting = writer_->Waiting();
  } else {
    database.waiting.count = CallQueue.Size();
  }
  DeviceTexts::Copy texts = deviceTexts_.Get();
  snapshot.devices.infoText = std::move(texts.infoText);
  snapshot.devices.lastStatus = std::move(texts.lastStatus);
  snapshot.devices.lastStatusAt = texts.lastStatusAt;
  snapshot.devices.connected = devices_.DeviceCount;
  snapshot.devices.highest = devices_.MaxDeviceCount;
  snapshot.recent = recent_.NewestFirst();
  return snapshot;
}

void TMAIN_FRM::Button1Click() {
  QueueCall("3,123456");
}

}  // namespace qelto
