#include "recording/call_writer.h"

#include <cstdio>
#include <exception>
#include <utility>

#include "recording/call_statement.h"
#include "recording/solar_date.h"

namespace qelto {
namespace {

// Asks the server whether the connection still works; every supported database accepts it.
constexpr const char* kProbeStatement = "SELECT 1";

// Database messages may span lines; a log line and a rejected record are one line each.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
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
                       Branch branch)
    : database_(database),
      queue_(queue),
      journal_(journal),
      rejected_(rejected),
      log_(log),
      clock_(clock),
      branch_(std::move(branch)),
      LastConnectTick(clock.Tick()) {}

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
  if (!connected) log_.WriteLog(OneLine(error));
}

void CallWriter::WriteQueuedCalls() {
  DrainCalls();
  if (!journal_.Flush()) log_.WriteLog("Error: Call journal: cannot flush the written calls");
}

void CallWriter::DrainCalls() {
  while (DbConnected_ && !stopRequested_) {
    std::optional<QueuedCall> call = queue_.TakeFirst();
    if (!call) return;
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
    }
  }
}

CallWriter::Outcome CallWriter::Write(QueuedCall& call) {
  DbError error;
  bool written = false;
  try {
    if (call.mayBeWritten) {
      const std::optional<bool> found = AlreadyWritten(call, error);
      if (!found) return Failed(call, std::move(error));
      if (*found) {
        Done(call);
        return Outcome::kWritten;
      }
    }
    const auto [line, number] = SplitQueueLine(call.line);
    const std::string statement =
        BuildCallInsertStatement(line, number, ToSolarDate(call.moment), branch_.BranchColumnText,
                                 branch_.BranchValueText, database_.Dialect());
    written = database_.Execute(statement, error);
  } catch (const std::exception& failure) {
    error = {DbFailure::kUnknown, failure.what()};
  }
  if (!written) return Failed(call, std::move(error));
  Done(call);
  return Outcome::kWritten;
}

std::optional<bool> CallWriter::AlreadyWritten(const QueuedCall& call, DbError& error) {
  const auto [line, number] = SplitQueueLine(call.line);
  const std::optional<std::int64_t> rows = database_.QueryNumber(
      BuildCallLookupQuery(line, number, ToSolarDate(call.moment), branch_.BranchValueText), error);
  if (!rows) return std::nullopt;
  return *rows > 0;
}

CallWriter::Outcome CallWriter::Failed(QueuedCall& call, DbError error) {
  if (error.kind == DbFailure::kUnknown) {
    error.kind = ConnectionAnswers() ? DbFailure::kRefused : DbFailure::kConnectionLost;
  }
  const std::string message = OneLine(error.message);
  switch (error.kind) {
    case DbFailure::kBusy:
      // A statement cut short by a time-out or a cancel may still have been carried out.
      call.mayBeWritten = true;
      if (busyReason_ != message) log_.WriteLog("Error: " + message);
      busyReason_ = message;
      return Outcome::kRetryLater;
    case DbFailure::kRefused:
      busyReason_.clear();
      log_.WriteLog("Error: " + message);
      if (++call.failures < kMaxCallFailures || !SetAside(call, message)) {
        return Outcome::kRetryLater;
      }
      Done(call);
      return Outcome::kWritten;
    default:
      busyReason_.clear();
      log_.WriteLog("Error: " + message);
      call.mayBeWritten = true;  // the INSERT got no answer: it may have been carried out
      return Outcome::kConnectionLost;
  }
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

void CallWriter::Done(const QueuedCall& call) {
  busyReason_.clear();
  if (!journal_.Strike(call.id)) {
    log_.WriteLog("Error: Call journal: cannot mark the call " + call.line +
                  " as written; the mark is written again with the next flush");
  }
}

void CallWriter::MarkConnectionLost() {
  DbConnected_ = false;
  database_.Close();
  LastConnectTick = clock_.Tick();
}

}  // namespace qelto
