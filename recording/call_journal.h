#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "recording/durable_file.h"
#include "recording/queued_call.h"

namespace qelto {

// The call journal's file name, in the working directory beside the log, and the side file that
// keeps, unchanged, the records that could not be read.
inline constexpr const char* kCallJournalFileName = "calls-journal.txt";
inline constexpr const char* kDamagedJournalFileName = "calls-journal.damaged.txt";
// Held locked by the recorder that uses the journal in this folder: a second one would interleave
// its records with ours.
inline constexpr const char* kJournalLockFileName = "calls-journal.lock";

// Keeps every call on disk from the moment it arrives until its row is in the database, so no
// call is lost to a shutdown, a crash or a power cut.
//
// The file is plain text, one record per line, each ended by LF (a CR before the LF, as an
// editor on Windows leaves it, is ignored):
//   C <id> <YYYY-MM-DD> <HH:MM:SS> <line>,<number>   a call arrived at that local moment
//   B <id> <n>                                      its INSERT is being sent; the table's highest
//                                                   IdNumber was at least n before it
//   W <id>                                          the call's row was written (or set aside)
// A call is pending while it has a C record and no W record after it. A record counts only with
// its line end: a last line without one was cut short, and is set aside like any damaged line.
// The B record lets the look-up before a second INSERT search only the rows numbered above n;
// a version that does not know it sets it aside and looks the call up by its values alone. Ids rise
// by one per call and keep rising across runs; they never wrap.
//
// At start the file is read, the pending calls are queued again in their order, and the file is
// rewritten with their C records alone. A record that cannot be read (a write torn by a crash, a
// file damaged by hand, a moment that is no real date and time) is never dropped: it moves,
// unchanged, to the side file. Two C records with one id are both kept; the later one gets a
// fresh id.
//
// After any write that failed (a full disk, say), and when someone deleted or replaced the file
// while the recorder runs, the next record or flush (after a failed write, also the next mark)
// first makes the file anew from what is pending in memory, at once and whole: so a torn record
// never has a record glued to it, a C record that failed reaches the disk as soon as the disk
// takes it, and a W record that failed takes effect then; until then the file keeps that call as
// pending.
//
// A call is never lost: its C record is on the disk before the driver's event returns. A crash
// between a row's INSERT and its W record leaves the call pending; the writer looks such a call
// up in the table before inserting it again.
class CallJournal {
 public:
  CallJournal(DurableFile& store, DurableFile& damaged);

  struct Recovery {
    std::vector<QueuedCall> pending;    // in their original order, with their moments
    std::vector<std::string> problems;  // what went wrong, one bounded line each, for the log
  };
  // Reads what the last run left, compacts the file, and returns the calls still to be written.
  Recovery Recover();

  // Gives `call` its id and records it durably. False when the record could not be written, with
  // the reason in `problem`; the call then lives in memory only.
  bool Record(QueuedCall& call, std::string& problem);
  // Marks the call as done. The mark survives the recorder being killed at once; it reaches the
  // disk with the next `Flush`, so a power cut before that can leave those calls pending, never
  // lose them. False when the record could not be written; it is tried again at the next Flush.
  bool Strike(std::uint64_t id);
  // Notes, before its INSERT is sent, the highest IdNumber the table held at some moment before:
  // the call's row, if that INSERT is carried out, is numbered above it. Reaches the disk like a
  // mark; a note lost to a power cut leaves an earlier one, or none, which widens the look-up.
  bool NoteSending(std::uint64_t id, std::int64_t highestId);
  // Flushes the marks to the disk, after making the file anew when a write had failed.
  bool Flush();

  // Calls recorded and not yet struck. Never waits for a write in progress.
  std::size_t PendingCount() const;

 private:
  // Each with lock_ held.
  bool Append(const std::string& record, bool durable);
  bool AppendMark(const std::string& record);
  // Makes the file anew from pending_ when a write failed or the file is gone; false when the
  // file still does not hold every pending call.
  bool Repair();
  bool Remake();

  DurableFile& store_;
  DurableFile& damaged_;
  mutable std::mutex lock_;  // one writer at a time, so ids follow the file's order
  std::uint64_t nextId_ = 1;
  // id -> its C record and its latest B record, to make the file anew
  std::map<std::uint64_t, std::string> pending_;
  std::atomic<std::size_t> pendingCount_{0};  // pending_.size(), for readers that must not wait
  bool stale_ = false;                        // a write failed: the file may not match pending_
  // The file held what we could not read: it is only ever appended to, never made anew.
  bool keepFile_ = false;
  // Written before the next record: the end of a cut last line that this file, only appended
  // to, still holds.
  std::string lead_;
};

// The record formats, exposed for the tests and the fuzzer.
std::string FormatCallRecord(const QueuedCall& call);
std::string FormatStrikeRecord(std::uint64_t id);
std::string FormatSendingRecord(std::uint64_t id, std::int64_t highestId);

}  // namespace qelto
