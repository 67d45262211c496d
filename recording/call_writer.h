#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "common/activity_log_writer.h"
#include "common/clock.h"
#include "recording/call_journal.h"
#include "recording/call_queue.h"
#include "recording/database.h"
#include "recording/durable_file.h"
#include "recording/recent_calls.h"
#include "recording/writer_control.h"

namespace qelto {

// File of the calls that the database refused for good, in the working directory beside the log.
inline constexpr const char* kRejectedCallsFileName = "rejected-calls.txt";
// A call that the database refuses this often is set aside.
inline constexpr int kMaxCallFailures = 3;
// A statement that finds its key taken while no one else takes numbers is run again this often
// before the violation counts as a refusal.
inline constexpr int kKeyCollisionRetries = 3;
// Milliseconds that must have passed since the last attempt before the next connection attempt.
inline constexpr std::uint32_t kReconnectWaitMs = 15000;

// Moves queued calls into Pos_Calls: first `ReconnectDatabase`, then `WriteQueuedCalls`. Both run
// on one thread at a time (the writer's thread, see CallWriterThread); the state they keep is
// read by the status tick from the user-interface thread.
//
// Every call is written exactly once, whatever the database does:
// - While the database is down, calls stay queued (and journalled).
// - A failed INSERT puts its call back at the front of the queue. What happens next depends on
//   why it failed: a lost connection is closed and opened again later; a busy or full server, or
//   a table or column that is missing, is simply tried again on the next wake, with the reason
//   logged once per episode; a unique key taken by another recorder between our MAX(IdNumber)
//   and our INSERT is run again at once, for as long as the other keeps taking numbers; only a
//   refusal of the statement itself (or a unique violation while no one takes numbers) counts
//   toward the
//   `kMaxCallFailures` that set the call aside into rejected-calls.txt, so one bad call never
//   holds up the others. A call whose set-aside record cannot be written stays queued.
// - A database file deleted or replaced while open is noticed before each batch and after each
//   row: the connection is opened again at the settings' path, and a row that went into the old
//   file is not taken as written.
// - A call whose row may already be in the table (recovered after a restart, or whose INSERT may
//   have been carried out without our hearing of it) is looked up by its values first and struck
//   without a second INSERT when its row is found; a failure that certainly changed nothing (a
//   lock, a refusal) leads to no look-up. The look-up searches only the rows numbered above the
//   highest IdNumber read before the call's INSERT was sent (read once per drain, noted in the
//   journal before each INSERT).
class CallWriter : public WriterControl {
 public:
  struct Branch {
    std::string BranchColumnText;  // ", BranchCode" or empty
    std::string BranchValueText;   // ", '<code>'" or empty
  };

  // `recent`, when given, is told of every call written or set aside.
  CallWriter(Database& database, LockedCallQueue& queue, CallJournal& journal,
             DurableFile& rejected, ActivityLogWriter& log, const Clock& clock, Branch branch,
             RecentCalls* recent = nullptr);

  // What the status window shows of the writer; callable from any thread, never waits for the
  // database.
  struct Status {
    bool connected = false;
    std::optional<LocalDateTime> since;  // when the connection last came up or went down
    std::string lastError;               // one line; empty when none this run
    std::optional<LocalDateTime> lastErrorAt;
    std::size_t setAside = 0;  // calls set aside this run
  };
  Status TakeStatus() const;

  // Opens the connection when it is down and more than 15 s have passed since the last attempt.
  void ReconnectDatabase();
  // Writes every queued call, in queue order, while the connection is up, until a stop is asked.
  void WriteQueuedCalls();
  // Makes WriteQueuedCalls return after the call it writes now. Callable from any thread.
  void RequestStop() { stopRequested_ = true; }

  bool DbConnected() const override { return DbConnected_; }
  std::int32_t ConnectAttempts() const override { return ConnectAttempts_; }
  void ResetConnectAttempts() override { ConnectAttempts_ = 0; }
  // Callable from any thread: the queue under its lock, the call being written from atomics.
  CallsWaiting Waiting() const override;
  // Both steps, at once, on the caller's thread.
  void ReconnectAndWrite() override;

 private:
  enum class Outcome { kWritten, kRetryLater, kConnectionLost, kMoved };
  void DrainCalls();
  Outcome Write(QueuedCall& call);
  Outcome Insert(QueuedCall& call, DbError& error);
  // Whether the call's row is in the table already; nullopt when the look-up failed.
  std::optional<bool> AlreadyWritten(const QueuedCall& call, DbError& error);
  // Strikes a call whose row is in the table, unless that table is no longer the named one.
  Outcome Written(QueuedCall& call);
  Outcome Failed(QueuedCall& call, DbError error);
  // False when the database was deleted or replaced under the connection; logs it once.
  bool AtNamedPlace();
  // Opens the database again where the settings point; on failure it counts as lost.
  void Reopen();
  bool ConnectionAnswers();
  // False when the set-aside record could not be written.
  bool SetAside(const QueuedCall& call, const std::string& error);
  // After a late call or a busy database, the first row written says the calls flow again.
  void NoteFlowing(const QueuedCall& call);
  void Done(const QueuedCall& call);
  void MarkConnectionLost();
  // The status window's view of the connection and of the latest failure.
  void NoteConnected(bool connected);
  void NoteError(const std::string& message);

  Database& database_;
  LockedCallQueue& queue_;
  CallJournal& journal_;
  DurableFile& rejected_;
  ActivityLogWriter& log_;
  const Clock& clock_;
  const Branch branch_;
  RecentCalls* const recent_;
  mutable std::mutex statusLock_;  // guards status_, held only to copy it
  Status status_;

  std::atomic<bool> DbConnected_{false};
  std::atomic<std::int32_t> ConnectAttempts_{0};
  std::atomic<bool> stopRequested_{false};
  // The call taken from the queue and being written, for Waiting(): whether there is one, and
  // its queue tick.
  std::atomic<bool> holding_{false};
  std::atomic<std::uint32_t> heldTick_{0};
  bool lateLogged_ = false;       // the calls' flowing again after a hold-up was logged
  std::uint32_t LastConnectTick;  // the last connection attempt or lost connection
  std::string busyReason_;        // the busy episode under way, logged once; empty when none
  // The highest IdNumber read in this drain, before any of its INSERTs; none until then.
  std::optional<std::int64_t> highestBefore_;
  // Calls of one moment whose rows this writer wrote or found, by queue line: the rows a look-up
  // for a later call with the same values must not take for its own. Only the latest moment is
  // kept, since calls reach the writer in the order they arrived.
  LocalDateTime writtenMoment_;
  std::map<std::string, int> writtenAtMoment_;
};

// The record of a call set aside: its arrival moment, its queue line and why it was refused.
std::string FormatRejectedCall(const QueuedCall& call, const std::string& error);

}  // namespace qelto
