#pragma once

#include <cstdint>
#include <string>

#include "common/clock.h"
#include "recording/call_journal.h"
#include "recording/call_queue.h"
#include "recording/database.h"
#include "recording/durable_file.h"
#include "ui/activity_log.h"

namespace qelto {

// File of the calls that the database refused for good, in the working directory beside the log.
inline constexpr const char* kRejectedCallsFileName = "rejected-calls.txt";
// A call whose INSERT fails this often on a connection that works otherwise is set aside.
inline constexpr int kMaxCallFailures = 3;
// Milliseconds that must have passed since the last attempt before the next connection attempt.
inline constexpr std::uint32_t kReconnectWaitMs = 15000;

// Moves queued calls into Pos_Calls. Runs on the user-interface thread, at the end of the timer
// tick: first `ReconnectDatabase`, then `WriteQueuedCalls`.
//
// No call is ever discarded: while the database is down calls stay queued (and journalled); a
// call whose INSERT failed goes back to the front of the queue. When the INSERT failed but the
// connection still answers, the fault is the call's own (a value the table refuses): after
// `kMaxCallFailures` such failures it is set aside into rejected-calls.txt, so one bad call never
// holds up the others.
class CallWriter {
 public:
  struct Branch {
    std::string BranchColumnText;  // ", BranchCode" or empty
    std::string BranchValueText;   // ", '<code>'" or empty
  };

  CallWriter(Database& database, LockedCallQueue& queue, CallJournal& journal,
             DurableFile& rejected, ActivityLog& log, const Clock& clock, Branch branch);

  // Opens the connection when it is down and more than 15 s have passed since the last attempt.
  void ReconnectDatabase();
  // Writes every queued call, in queue order, while the connection is up.
  void WriteQueuedCalls();

  bool DbConnected() const { return DbConnected_; }
  std::int32_t ConnectAttempts() const { return ConnectAttempts_; }
  // The database alert starts the count of attempts anew.
  void ResetConnectAttempts() { ConnectAttempts_ = 0; }

 private:
  enum class Outcome { kWritten, kRetryLater, kConnectionLost };
  void DrainCalls();
  Outcome Write(QueuedCall& call);
  bool ConnectionAnswers();
  void SetAside(const QueuedCall& call, const std::string& error);
  void MarkConnectionLost();

  Database& database_;
  LockedCallQueue& queue_;
  CallJournal& journal_;
  DurableFile& rejected_;
  ActivityLog& log_;
  const Clock& clock_;
  const Branch branch_;

  bool DbConnected_ = false;
  std::uint32_t LastConnectTick;  // the last connection attempt or lost connection
  std::int32_t ConnectAttempts_ = 0;
};

// The record of a call set aside: its arrival moment, its queue line and why it was refused.
std::string FormatRejectedCall(const QueuedCall& call, const std::string& error);

}  // namespace qelto
