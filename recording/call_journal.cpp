#include "recording/call_journal.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <deque>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace qelto {
namespace {

// Ends a cut last record in a journal that is only appended to: the extra field keeps it from
// being read as a whole record, and tells a reader of the damaged file what happened to it.
constexpr const char* kCutRecordEnd = " (cut)\n";

// Ids at or above this are renumbered at start, so that no id can ever wrap.
constexpr std::uint64_t kRenumberFrom = std::uint64_t{1} << 62;

std::optional<std::uint64_t> ParseId(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
  return value;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// "YYYY-MM-DD HH:MM:SS" into a moment; false when it is not a real one.
bool ParseMoment(std::string_view date, std::string_view time, LocalDateTime& moment) {
  if (date.size() != 10 || time.size() != 8 || date[4] != '-' || date[7] != '-' || time[2] != ':' ||
      time[5] != ':') {
    return false;
  }
  return ParseNumber(date.substr(0, 4), moment.year) &&
         ParseNumber(date.substr(5, 2), moment.month) &&
         ParseNumber(date.substr(8, 2), moment.day) &&
         ParseNumber(time.substr(0, 2), moment.hour) &&
         ParseNumber(time.substr(3, 2), moment.minute) &&
         ParseNumber(time.substr(6, 2), moment.second) && IsRealMoment(moment);
}

bool IsQueueLine(std::string_view line) {
  const auto comma = line.find(',');
  if (comma == 0 || comma == std::string_view::npos || comma + 1 == line.size()) return false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (i != comma && (line[i] < '0' || line[i] > '9')) return false;
  }
  return true;
}

std::vector<std::string_view> SplitFields(std::string_view record) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (start <= record.size()) {
    const auto space = record.find(' ', start);
    const auto end = space == std::string_view::npos ? record.size() : space;
    fields.push_back(record.substr(start, end - start));
    start = end + 1;
  }
  return fields;
}

struct ParsedJournal {
  std::vector<QueuedCall> calls;          // every C record, in file order; struck ones have id 0
  std::vector<std::string_view> damaged;  // lines that are no record, as they stand in the file
  std::uint64_t highestId = 0;
  // Where the calls not yet struck stand in `calls`, by id, earliest first: a journal of a busy
  // week holds hundreds of thousands of records, and a search from the start for each W record
  // would make the start quadratic in them.
  std::unordered_map<std::uint64_t, std::deque<std::size_t>> pendingAt;
};

// A W record strikes the earliest call with its id that is still pending.
void Strike(ParsedJournal& journal, std::uint64_t id) {
  const auto found = journal.pendingAt.find(id);
  if (found == journal.pendingAt.end()) return;
  journal.calls[found->second.front()].id = 0;
  found->second.pop_front();
  if (found->second.empty()) journal.pendingAt.erase(found);
}

// A B record tells the earliest pending call with its id the highest IdNumber seen before its
// INSERT was sent; a later one, of a later INSERT, replaces it.
void NoteSending(ParsedJournal& journal, std::uint64_t id, std::int64_t highestId) {
  const auto found = journal.pendingAt.find(id);
  if (found != journal.pendingAt.end()) journal.calls[found->second.front()].sentAbove = highestId;
}

bool ParseRecord(std::string_view record, ParsedJournal& journal) {
  const auto fields = SplitFields(record);
  const auto id = fields.size() >= 2 ? ParseId(fields[1]) : std::nullopt;
  if (!id) return false;
  if (fields[0] == "W" && fields.size() == 2) {
    Strike(journal, *id);
  } else if (std::int64_t highestId = 0;
             fields[0] == "B" && fields.size() == 3 && ParseNumber(fields[2], highestId)) {
    NoteSending(journal, *id, highestId);
  } else if (QueuedCall call; fields[0] == "C" && fields.size() == 5 &&
                              ParseMoment(fields[2], fields[3], call.moment) &&
                              IsQueueLine(fields[4])) {
    call.id = *id;
    call.line = std::string(fields[4]);
    journal.pendingAt[*id].push_back(journal.calls.size());
    journal.calls.push_back(std::move(call));
  } else {
    return false;
  }
  if (*id > journal.highestId) journal.highestId = *id;
  return true;
}

std::string_view WithoutCarriageReturns(std::string_view line) {
  while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// A record is whole only with its line end: a last line without one was cut by a crash or a
// power cut, and may still read as a record ("2,0912" of "2,09121234567", "W 1" of "W 17").
ParsedJournal Parse(std::string_view content) {
  ParsedJournal journal;
  std::size_t start = 0;
  while (start < content.size()) {
    const auto end = content.find('\n', start);
    const bool whole = end != std::string_view::npos;
    const std::string_view line = content.substr(start, (whole ? end : content.size()) - start);
    const std::string_view record = WithoutCarriageReturns(line);
    if (!record.empty() && !(whole && ParseRecord(record, journal))) {
      journal.damaged.push_back(line);
    }
    if (!whole) break;
    start = end + 1;
  }
  return journal;
}

// Whether the content ends within a record that has text but no line end.
bool EndsCut(std::string_view content) {
  const auto lastEnd = content.rfind('\n');
  const auto tail = lastEnd == std::string_view::npos ? content : content.substr(lastEnd + 1);
  return !WithoutCarriageReturns(tail).empty();
}

// Gives the pending calls the ids they keep: their own, except that a repeated id gets a fresh
// one, and that all are numbered from 1 again when they come near the end of the range.
std::uint64_t AssignIds(std::vector<QueuedCall>& pending, std::uint64_t highestId) {
  if (highestId >= kRenumberFrom) {
    std::uint64_t id = 0;
    for (QueuedCall& call : pending) call.id = ++id;
    return id + 1;
  }
  std::uint64_t next = highestId + 1;
  std::unordered_set<std::uint64_t> used;
  used.reserve(pending.size());
  for (QueuedCall& call : pending) {
    if (!used.insert(call.id).second) {
      call.id = next++;
      used.insert(call.id);
    }
  }
  return next;
}

std::string PendingText(const std::map<std::uint64_t, std::string>& pending) {
  std::string text;
  for (const auto& [id, records] : pending) text += records;
  return text;
}

// A pending call's records: its C record, and the B record of its last INSERT sent, if any.
std::string PendingRecords(const QueuedCall& call) {
  std::string records = FormatCallRecord(call);
  if (call.sentAbove) records += FormatSendingRecord(call.id, *call.sentAbove);
  return records;
}

// A call's values, as the table holds them: its moment and its line.
struct CallValues {
  std::int64_t moment;
  std::string_view line;
  bool operator==(const CallValues&) const = default;
};
struct CallValuesHash {
  std::size_t operator()(const CallValues& values) const {
    constexpr auto kMix = static_cast<std::size_t>(0x9e3779b97f4a7c15ULL);  // 32 bits on i686
    return std::hash<std::string_view>()(values.line) ^
           (std::hash<std::int64_t>()(values.moment) * kMix);
  }
};
CallValues ValuesOf(const QueuedCall& call) {
  const LocalDateTime& t = call.moment;
  const std::int64_t moment =
      ((((std::int64_t{t.year} * 13 + t.month) * 32 + t.day) * 24 + t.hour) * 60 + t.minute) * 60 +
      t.second;
  return {moment, call.line};
}

// Tells each pending call how many struck calls share its moment and line: rows of the table that
// hold its values and are not its own (a customer who rang twice within one second). Counted
// only for the values a pending call has: a week's struck calls are many more.
void CountWrittenTwins(const std::vector<QueuedCall>& parsed, std::vector<QueuedCall>& pending) {
  const auto struck = [](const QueuedCall& call) { return call.id == 0; };
  if (pending.empty() || std::none_of(parsed.begin(), parsed.end(), struck)) return;
  std::unordered_map<CallValues, int, CallValuesHash> written;
  for (const QueuedCall& call : pending) written.emplace(ValuesOf(call), 0);
  for (const QueuedCall& call : parsed) {
    if (!struck(call)) continue;  // the pending ones were moved out above
    const auto found = written.find(ValuesOf(call));
    if (found != written.end()) ++found->second;
  }
  for (QueuedCall& call : pending) call.writtenTwins = written[ValuesOf(call)];
}

}  // namespace

std::string FormatCallRecord(const QueuedCall& call) {
  char moment[32];
  const LocalDateTime& t = call.moment;
  std::snprintf(moment, sizeof moment, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return "C " + std::to_string(call.id) + " " + moment + " " + call.line + "\n";
}

std::string FormatStrikeRecord(std::uint64_t id) {
  return "W " + std::to_string(id) + "\n";
}

std::string FormatSendingRecord(std::uint64_t id, std::int64_t highestId) {
  return "B " + std::to_string(id) + " " + std::to_string(highestId) + "\n";
}

CallJournal::CallJournal(DurableFile& store, DurableFile& damaged)
    : store_(store), damaged_(damaged) {}

CallJournal::Recovery CallJournal::Recover() {
  std::lock_guard guard(lock_);
  Recovery recovery;
  const std::optional<std::string> content = store_.ReadAll();
  if (!content) {
    // Keep the unreadable file as it is: compacting it would destroy the calls it may hold.
    recovery.problems.push_back("Call journal: cannot read " + std::string(kCallJournalFileName) +
                                "; calls in it stay there");
    keepFile_ = true;
    return recovery;
  }
  ParsedJournal journal = Parse(*content);
  for (QueuedCall& call : journal.calls) {
    if (call.id == 0) continue;
    call.mayBeWritten = true;
    recovery.pending.push_back(std::move(call));
  }
  CountWrittenTwins(journal.calls, recovery.pending);
  nextId_ = AssignIds(recovery.pending, journal.highestId);
  for (const QueuedCall& call : recovery.pending) pending_[call.id] = PendingRecords(call);
  pendingCount_ = pending_.size();

  bool keepAsItIs = false;
  if (!journal.damaged.empty()) {
    std::string moved;
    for (std::string_view line : journal.damaged) (moved += line) += '\n';
    const std::string count = std::to_string(journal.damaged.size());
    if (damaged_.Append(moved)) {
      recovery.problems.push_back("Call journal: " + count + " unreadable records moved to " +
                                  kDamagedJournalFileName);
    } else {
      recovery.problems.push_back("Call journal: " + count + " unreadable records, and " +
                                  kDamagedJournalFileName + " cannot be written; " +
                                  kCallJournalFileName + " is left as it is");
      keepAsItIs = true;
    }
  }
  const std::string compacted = PendingText(pending_);
  if (keepAsItIs) {
    // Never made anew while it holds what could not be moved; appended to only, each record on
    // a line of its own.
    // A cut last record left there would become whole, and be read as a call, with the line end
    // of the next record: it is ended with a mark that keeps it unreadable.
    keepFile_ = true;
    if (EndsCut(*content)) {
      lead_ = kCutRecordEnd;
    } else if (!content->empty() && content->back() != '\n') {
      lead_ = "\n";  // carriage returns alone after the last line end
    }
    if (!lead_.empty() && store_.Append(lead_)) lead_.clear();
  } else if (compacted != *content && !store_.Replace(compacted)) {
    recovery.problems.push_back("Call journal: cannot compact " +
                                std::string(kCallJournalFileName));
    stale_ = true;
  }
  return recovery;
}

bool CallJournal::Append(const std::string& record, bool durable) {
  if (keepFile_ || (!stale_ && store_.Intact())) {
    const std::string text = lead_ + record;
    if (durable ? store_.Append(text) : store_.AppendUnsynced(text)) {
      lead_.clear();
      return true;
    }
    if (keepFile_) return false;
    stale_ = true;
  }
  return Remake();  // with the record in it
}

bool CallJournal::Repair() {
  if (keepFile_ || (!stale_ && store_.Intact())) return true;
  return Remake();
}

bool CallJournal::Remake() {
  stale_ = !store_.Replace(PendingText(pending_));
  return !stale_;
}

bool CallJournal::Record(QueuedCall& call, std::string& problem) {
  std::lock_guard guard(lock_);
  call.id = nextId_++;
  std::string record = FormatCallRecord(call);
  pending_[call.id] = record;
  pendingCount_ = pending_.size();
  if (Append(record, true)) return true;
  problem = "cannot write " + std::string(kCallJournalFileName) + "; " +
            std::to_string(pending_.size()) + " calls are held in memory only";
  return false;
}

bool CallJournal::Strike(std::uint64_t id) {
  if (id == 0) return true;
  std::lock_guard guard(lock_);
  if (pending_.erase(id) == 0) return true;
  pendingCount_ = pending_.size();
  return AppendMark(FormatStrikeRecord(id));
}

bool CallJournal::NoteSending(std::uint64_t id, std::int64_t highestId) {
  if (id == 0) return true;
  std::lock_guard guard(lock_);
  const auto found = pending_.find(id);
  if (found == pending_.end()) return true;
  std::string& records = found->second;
  const std::size_t callEnd = records.find('\n') + 1;
  const bool earlier = callEnd < records.size();  // an INSERT sent before, whose fate was unknown
  records.erase(callEnd);
  const std::string record = FormatSendingRecord(id, highestId);
  records += record;
  // The earlier note may have been read from another file (a copy moved over the database since),
  // and be higher: it must not be what a power cut leaves.
  if (earlier) return Append(record, true);
  return AppendMark(record);
}

bool CallJournal::AppendMark(const std::string& record) {
  // Not flushed one by one: a flush per written row would halve the rate at which calls reach
  // the database after an outage, and a mark lost to a power cut leaves the call pending, to be
  // looked up in the table at the next start.
  // Nor is the file's identity checked for each mark, which costs more than the mark itself
  // (under Wine, an open of the path per row): a mark that goes to a file someone deleted or
  // replaced is harmless, because the Flush that ends every drain checks, and makes the file
  // anew from what is still pending, without the struck call.
  if (!keepFile_ && stale_) return Remake();
  if (store_.AppendUnsynced(lead_ + record)) {
    lead_.clear();
    return true;
  }
  if (keepFile_) return false;
  stale_ = true;
  return Remake();
}

bool CallJournal::Flush() {
  std::lock_guard guard(lock_);
  return Repair() && store_.Sync();
}

std::size_t CallJournal::PendingCount() const {
  return pendingCount_;
}

}  // namespace qelto
