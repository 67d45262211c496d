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
                       DurableFile& rejected, ActivityLog& log, const Clock& clock, Branch branch)
    : database_(database),
      queue_(queue),
      journal_(journal),
      rejected_(rejected),
      log_(log),
      clock_(clock),
      branch_(std::move(branch)),
      LastConnectTick(clock.Tick()) {}

void CallWriter::ReconnectDatabase() {
  if (DbConnected_) return;
  if (TicksSince(clock_.Tick(), LastConnectTick) <= kReconnectWaitMs) return;
  ++ConnectAttempts_;
  LastConnectTick = clock_.Tick();
  std::string error;
  try {
    DbConnected_ = database_.Open(error) && database_.Connected();
  } catch (const std::exception& failure) {
    DbConnected_ = false;
    error = failure.what();
  }
  if (!DbConnected_) log_.WriteLog(OneLine(error));
}

void CallWriter::WriteQueuedCalls() {
  DrainCalls();
  if (!journal_.Flush()) log_.WriteLog("Error: Call journal: cannot flush the written calls");
}

void CallWriter::DrainCalls() {
  while (DbConnected_) {
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
  std::string error;
  bool written = false;
  try {
    const auto [line, number] = SplitQueueLine(call.line);
    const std::string statement =
        BuildCallInsertStatement(line, number, ToSolarDate(call.moment), branch_.BranchColumnText,
                                 branch_.BranchValueText, database_.Dialect());
    written = database_.Execute(statement, error);
  } catch (const std::exception& failure) {
    error = failure.what();
  }
  if (written) {
    if (!journal_.Strike(call.id)) {
      log_.WriteLog("Error: Call journal: cannot mark the call " + call.line + " as written");
    }
    return Outcome::kWritten;
  }
  log_.WriteLog("Error: " + OneLine(error));
  if (!ConnectionAnswers()) return Outcome::kConnectionLost;
  if (++call.failures < kMaxCallFailures) return Outcome::kRetryLater;
  SetAside(call, error);
  return Outcome::kWritten;
}

bool CallWriter::ConnectionAnswers() {
  std::string ignored;
  try {
    return database_.Execute(kProbeStatement, ignored);
  } catch (const std::exception&) {
    return false;
  }
}

void CallWriter::SetAside(const QueuedCall& call, const std::string& error) {
  if (!rejected_.Append(FormatRejectedCall(call, error))) {
    // Nowhere to put it: keep it journalled, so the next start tries it again.
    log_.WriteLog("Error: cannot write " + std::string(kRejectedCallsFileName) + "; the call " +
                  call.line + " stays in the call journal");
    return;
  }
  log_.WriteLog("Error: the call " + call.line + " was refused " +
                std::to_string(kMaxCallFailures) + " times and is set aside in " +
                kRejectedCallsFileName);
  journal_.Strike(call.id);
}

void CallWriter::MarkConnectionLost() {
  DbConnected_ = false;
  database_.Close();
  LastConnectTick = clock_.Tick();
}

}  // namespace qelto
