#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "recording/durable_file.h"
#include "recording/queued_call.h"

namespace qelto {

// The call journal's file name, in the working directory beside the log.
inline constexpr const char* kCallJournalFileName = "calls-journal.txt";

// Keeps every call on disk from the moment it arrives until its row is in the database, so no
// call is lost to a shutdown, a crash or a power cut.
//
// The file is plain text, one record per line, each ended by LF:
//   C <id> <YYYY-MM-DD> <HH:MM:SS> <line>,<number>   a call arrived at that local moment
//   W <id>                                          the call's row was written (or set aside)
// Ids rise by one per call and keep rising across runs. A call is pending while it has a C
// record and no W record. At start the file is read, the pending calls are queued again in their
// order, and the file is rewritten with their C records alone. A line that is not a whole record
// (a write torn by a crash) is skipped. A crash between a row's INSERT and its W record writes
// that one call twice after the restart; a power cut can do so for the calls of the last drain,
// whose W records reach the disk together. A call is never lost: its C record is on the disk
// before the driver's event returns.
class CallJournal {
 public:
  explicit CallJournal(DurableFile& store);

  struct Recovery {
    std::vector<QueuedCall> pending;    // in their original order, with their moments
    std::vector<std::string> problems;  // what could not be read, for the log
  };
  // Reads what the last run left, compacts the file, and returns the calls still to be written.
  Recovery Recover();

  // Gives `call` its id and records it durably. False when the record could not be written;
  // the call then lives in memory only.
  bool Record(QueuedCall& call);
  // Marks the call as done. The mark survives the recorder being killed at once; it reaches the
  // disk with the next `Flush`, so a power cut before that can write those calls twice, never
  // lose them. False when the record could not be written.
  bool Strike(std::uint64_t id);
  // Flushes the marks written since the last flush to the disk.
  bool Flush();

 private:
  DurableFile& store_;
  std::mutex lock_;  // one writer at a time, so ids follow the file's order
  std::uint64_t nextId_ = 1;
};

// The record formats, exposed for the tests and the fuzzer.
std::string FormatCallRecord(const QueuedCall& call);
std::string FormatStrikeRecord(std::uint64_t id);

}  // namespace qelto
