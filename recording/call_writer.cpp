#include "recording/call_writer.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "recording/call_statement.h"
#include "recording/solar_date.h"

namespace qelto {
namespace {

// Asks the server whether the connection still works; every supported database accepts it.
constexpr const char* kProbeStatement = "SELECT 1";
// The number the last row took, to tell a race on the key from another unique violation.
constexpr const char* kHighestIdQuery = "SELECT MAX(IdNumber) FROM Pos_Calls";

// Database messages may span lines; a log line and a rejected record are one line each.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

bool SameMoment(const LocalDateTime& a, const LocalDateTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
}

}  // namespace

std::string FormatRejectedCall(const QueuedCall& call, const std::string& error) {
  char moment[32];
  const LocalDateTime& t = call.moment;
  std::snprintf(moment, sizeof moment, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return std::string(moment) + " - " + call.line + " - " + OneLine(error) + "\r\n";
}

CallWriter::CallWriter(Database& database, LockedCallQueue& queue, CallJournal& journal,
                       DurableFile& rejected, ActivityLogWriter& log, const Clock& clock,
                       Branch branch, RecentCalls* recent)
    : database_(database),
      queue_(queue),
      journal_(journal),
      rejected_(rejected),
      log_(log),
      clock_(clock),
      branch_(std::move(branch)),
      recent_(recent),
      LastConnectTick(clock.Tick()) {
  status_.since = clock.Now();  // down since the start
}

CallWriter::Status CallWriter::TakeStatus() const {
  std::lock_guard<std::mutex> hold(statusLock_);
  Status status = status_;
  status.connected = DbConnected_;
  return status;
}

void CallWriter::NoteConnected(bool connected) {
  const LocalDateTime now = clock_.Now();
  std::lock_guard<std::mutex> hold(statusLock_);
  if (status_.connected == connected) return;
  status_.connected = connected;
  status_.since = now;
}

void CallWriter::NoteError(const std::string& message) {
  const LocalDateTime now = clock_.Now();
  std::lock_guard<std::mutex> hold(statusLock_);
  status_.lastError = message;
  status_.lastErrorAt = now;
}

CallsWaiting CallWriter::Waiting() const {
  const std::uint32_t now = clock_.Tick();
  CallsWaiting waiting;
  waiting.count = queue_.Size();
  if (const std::optional<std::uint32_t> first = queue_.FirstQueuedTick()) {
    waiting.longestMs = TicksSince(now, *first);
  }
  // Read after the queue: a call put back meanwhile is counted twice, never missed.
  if (holding_) {
    ++waiting.count;
    waiting.longestMs = std::max(waiting.longestMs, TicksSince(now, heldTick_));
  }
  return waiting;
}

void CallWriter::ReconnectAndWrite() {
  ReconnectDatabase();
  WriteQueuedCalls();
}

void CallWriter::ReconnectDatabase() {
  if (DbConnected_) return;
  if (TicksSince(clock_.Tick(), LastConnectTick) <= kReconnectWaitMs) return;
  ++ConnectAttempts_;
  LastConnectTick = clock_.Tick();
  std::string error;
  bool connected = false;
  try {
    connected = database_.Open(error) && database_.Connected();
    if (!connected && error.empty()) error = "The database connection opened but is not up.";
  } catch (const std::exception& failure) {
    error = failure.what();
  }
  DbConnected_ = connected;
  NoteConnected(connected);
  if (!connected) {
    log_.WriteLog(OneLine(error));
    NoteError(OneLine(error));
  }
}

void CallWriter::WriteQueuedCalls() {
  DrainCalls();
  if (!journal_.Flush()) log_.WriteLog("Error: Call journal: cannot flush the written calls");
}

void CallWriter::DrainCalls() {
  if (DbConnected_ && !AtNamedPlace()) Reopen();
  highestBefore_.reset();
  while (DbConnected_ && !stopRequested_) {
    std::optional<QueuedCall> call = queue_.TakeFirst();
    if (!call) return;
    heldTick_ = call->queuedTick;
    holding_ = true;
    struct Release {
      std::atomic<bool>& holding;
      ~Release() { holding = false; }  // after a call that failed is back in the queue
    } release{holding_};
    switch (Write(*call)) {
      case Outcome::kWritten:
        break;
      case Outcome::kRetryLater:
        queue_.PutBackFirst(std::move(*call));
        return;
      case Outcome::kConnectionLost:
        queue_.PutBackFirst(std::move(*call));
        MarkConnectionLost();
        return;
      case Outcome::kMoved:
        // The rest waits for the next wake, so a file that keeps moving cannot hold the writer
        // in a loop.
        queue_.PutBackFirst(std::move(*call));
        Reopen();
        return;
    }
  }
}

CallWriter::Outcome CallWriter::Write(QueuedCall& call) {
  DbError error;
  try {
    // Read once per drain, before its first statement: every row numbered since, ours among
    // them, is numbered above it, as long as no one deletes rows at the top of the table. It
    // fails as the INSERT would (the same server, the same table).
    if (!highestBefore_) {
      highestBefore_ = database_.QueryNumber(kHighestIdQuery, error);
      if (!highestBefore_) return Failed(call, std::move(error));
    }
    if (call.mayBeWritten) {
      const std::optional<bool> found = AlreadyWritten(call, error);
      if (!found) return Failed(call, std::move(error));
      if (*found) return Written(call);
      call.mayBeWritten = false;  // not there: only a failure that may have committed says more
    }
    return Insert(call, error);
  } catch (const std::exception& failure) {
    return Failed(call, {DbFailure::kUnknown, failure.what()});
  }
}

CallWriter::Outcome CallWriter::Insert(QueuedCall& call, DbError& error) {
  const auto [line, number] = SplitQueueLine(call.line);
  const std::string statement =
      BuildCallInsertStatement(line, number, ToSolarDate(call.moment), branch_.BranchColumnText,
                               branch_.BranchValueText, database_.Dialect());
  // Noted first, so that a look-up after a crash, or after an answer that never came, searches
  // only the rows numbered since.
  call.sentAbove = highestBefore_;
  if (!journal_.NoteSending(call.id, *highestBefore_)) {
    log_.WriteLog("Error: Call journal: cannot note the sending of the call " + call.line);
  }
  // The statement numbers its row from MAX(IdNumber) as it runs, so each run takes a fresh number.
  // A recorder with a backlog beside us can win that race many times over, so a collision is
  // run again as long as the highest number moves on between collisions: someone else is taking
  // numbers. A violation while the highest number stands still is no race on the key (another
  // unique index of the shop's, say): after a few, it is the statement's own refusal.
  std::optional<std::int64_t> highest;
  int stale = 0;
  while (!database_.Execute(statement, error)) {
    if (error.kind != DbFailure::kKeyCollision) return Failed(call, std::move(error));
    if (stopRequested_) return Outcome::kRetryLater;  // no one's fault: the journal keeps it
    DbError ignored;
    const std::optional<std::int64_t> now = database_.QueryNumber(kHighestIdQuery, ignored);
    if (!now || (now == highest && ++stale > kKeyCollisionRetries)) {
      return Failed(call, std::move(error));
    }
    highest = now;
  }
  return Written(call);
}

// Two genuine calls can carry the same values: a customer who rang, hung up and rang again within
// one second. So "a row with these values exists" does not prove that this call was written; the
// rows are compared with the calls known to own such rows: the twins the journal showed written at
// the start (recovered with the call) and those this writer wrote or found since. Only a row beyond
// those is this call's own. Twins are written in the order they arrived, so when the first of two
// recovered twins finds the one row, the second goes on to its INSERT.
// The search is narrowed to the rows numbered above the highest IdNumber seen before the call's
// INSERT was sent: through the table's key, cheap on any table, with no index of ours. Not for a
// call with known twins: whether their rows lie above that number is not known, so those are
// weighed against the whole table, as before.
std::optional<bool> CallWriter::AlreadyWritten(const QueuedCall& call, DbError& error) {
  const auto [line, number] = SplitQueueLine(call.line);
  std::int64_t othersRows = call.writtenTwins;
  if (SameMoment(call.moment, writtenMoment_)) {
    const auto twins = writtenAtMoment_.find(call.line);
    if (twins != writtenAtMoment_.end()) othersRows += twins->second;
  }
  const std::optional<std::int64_t> above = othersRows == 0 ? call.sentAbove : std::nullopt;
  const std::optional<std::int64_t> rows = database_.QueryNumber(
      BuildCallLookupQuery(line, number, ToSolarDate(call.moment), branch_.BranchValueText, above),
      error);
  if (!rows) return std::nullopt;
  return *rows > othersRows;
}

CallWriter::Outcome CallWriter::Written(QueuedCall& call) {
  if (!AtNamedPlace()) {
    call.mayBeWritten = true;  // a copy moved over the file may hold the row
    return Outcome::kMoved;
  }
  if (!SameMoment(call.moment, writtenMoment_)) {
    writtenMoment_ = call.moment;
    writtenAtMoment_.clear();
  }
  ++writtenAtMoment_[call.line];
  NoteFlowing(call);
  Done(call);
  if (recent_) recent_->SetState(call.recentKey, RecentCallState::kWritten);
  return Outcome::kWritten;
}

CallWriter::Outcome CallWriter::Failed(QueuedCall& call, DbError error) {
  if (error.kind == DbFailure::kUnknown) {
    error.kind = ConnectionAnswers() ? DbFailure::kRefused : DbFailure::kConnectionLost;
  }
  const std::string message = OneLine(error.message);
  NoteError(message);
  switch (error.kind) {
    case DbFailure::kBusy:
    case DbFailure::kTableMissing:
      // An outage of the database: the call waits at the front, the episode is logged once.
      if (error.outcomeUnknown) call.mayBeWritten = true;
      if (busyReason_ != message) {
        log_.WriteLog("Error: " + message);
        lateLogged_ = false;  // a new episode: its end is logged too
      }
      busyReason_ = message;
      return Outcome::kRetryLater;
    case DbFailure::kRefused:
    case DbFailure::kKeyCollision:  // taken while no one else took numbers
      busyReason_.clear();
      log_.WriteLog("Error: " + message);
      if (++call.failures < kMaxCallFailures || !SetAside(call, message)) {
        return Outcome::kRetryLater;
      }
      Done(call);
      if (recent_) recent_->SetState(call.recentKey, RecentCallState::kSetAside);
      {
        std::lock_guard<std::mutex> hold(statusLock_);
        ++status_.setAside;
      }
      return Outcome::kWritten;
    default:
      busyReason_.clear();
      log_.WriteLog("Error: " + message);
      call.mayBeWritten = true;  // the INSERT got no answer: it may have been carried out
      return Outcome::kConnectionLost;
  }
}

bool CallWriter::AtNamedPlace() {
  std::string change;
  bool same = true;
  try {
    same = database_.AtNamedPlace(change);
  } catch (const std::exception& failure) {
    change = failure.what();
    same = false;
  }
  if (!same) {
    log_.WriteLog("Error: " + OneLine(change));
    NoteError(OneLine(change));
  }
  return same;
}

void CallWriter::Reopen() {
  std::string error;
  bool reopened = false;
  try {
    reopened = database_.Open(error) && database_.Connected();
    if (!reopened && error.empty()) error = "The database connection opened but is not up.";
  } catch (const std::exception& failure) {
    error = failure.what();
  }
  if (reopened) return;
  log_.WriteLog(OneLine(error));
  NoteError(OneLine(error));
  MarkConnectionLost();
}

bool CallWriter::ConnectionAnswers() {
  std::string ignored;
  try {
    return database_.Execute(kProbeStatement, ignored);
  } catch (const std::exception&) {
    return false;
  }
}

bool CallWriter::SetAside(const QueuedCall& call, const std::string& error) {
  if (!rejected_.Append(FormatRejectedCall(call, error))) {
    log_.WriteLog("Error: cannot write " + std::string(kRejectedCallsFileName) + "; the call " +
                  call.line + " stays queued");
    return false;
  }
  log_.WriteLog("Error: the call " + call.line + " was refused " +
                std::to_string(kMaxCallFailures) + " times and is set aside in " +
                kRejectedCallsFileName);
  return true;
}

void CallWriter::NoteFlowing(const QueuedCall& call) {
  const std::uint32_t waited = TicksSince(clock_.Tick(), call.queuedTick);
  if (busyReason_.empty() && waited <= kCallLateMs) {
    lateLogged_ = false;  // on time: a later hold-up is logged again
    return;
  }
  if (lateLogged_) return;
  lateLogged_ = true;
  log_.WriteLog("The database takes calls again; the call " + call.line + " waited " +
                std::to_string(waited / 1000) + " s");
}

void CallWriter::Done(const QueuedCall& call) {
  busyReason_.clear();
  if (!journal_.Strike(call.id)) {
    log_.WriteLog("Error: Call journal: cannot mark the call " + call.line +
                  " as written; the mark is written again with the next flush");
  }
}

void CallWriter::MarkConnectionLost() {
  DbConnected_ = false;
  NoteConnected(false);
  database_.Close();
  LastConnectTick = clock_.Tick();
}

}  // namespace qelto
