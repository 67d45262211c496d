#include "recording/call_journal.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <optional>
#include <string_view>

namespace qelto {
namespace {

std::optional<std::uint64_t> ParseId(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
  return value;
}

bool ParseNumber(std::string_view text, int& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// "YYYY-MM-DD HH:MM:SS" into a moment; false when it is not one.
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
         ParseNumber(time.substr(6, 2), moment.second);
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
  std::map<std::uint64_t, QueuedCall> pending;  // ordered by id, which is arrival order
  std::uint64_t highestId = 0;
  std::vector<std::string> problems;
};

void ParseRecord(std::string_view record, ParsedJournal& journal) {
  const auto fields = SplitFields(record);
  const auto id = fields.size() >= 2 ? ParseId(fields[1]) : std::nullopt;
  if (id && fields[0] == "W" && fields.size() == 2) {
    journal.pending.erase(*id);
    if (*id > journal.highestId) journal.highestId = *id;
    return;
  }
  QueuedCall call;
  if (id && fields[0] == "C" && fields.size() == 5 &&
      ParseMoment(fields[2], fields[3], call.moment) && IsQueueLine(fields[4])) {
    call.id = *id;
    call.line = std::string(fields[4]);
    journal.pending[*id] = std::move(call);
    if (*id > journal.highestId) journal.highestId = *id;
    return;
  }
  journal.problems.push_back("Call journal: unreadable record skipped: " + std::string(record));
}

ParsedJournal Parse(std::string_view content) {
  ParsedJournal journal;
  std::size_t start = 0;
  while (start < content.size()) {
    const auto end = content.find('\n', start);
    if (end == std::string_view::npos) {
      // No LF: the last write was cut off before the call was recorded.
      journal.problems.push_back("Call journal: incomplete last record skipped: " +
                                 std::string(content.substr(start)));
      break;
    }
    if (end > start) ParseRecord(content.substr(start, end - start), journal);
    start = end + 1;
  }
  return journal;
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

CallJournal::CallJournal(DurableFile& store) : store_(store) {}

CallJournal::Recovery CallJournal::Recover() {
  std::lock_guard guard(lock_);
  Recovery recovery;
  const std::optional<std::string> content = store_.ReadAll();
  if (!content) {
    // Keep the unreadable file as it is: compacting it would destroy the calls it may hold.
    recovery.problems.push_back("Call journal: cannot read " + std::string(kCallJournalFileName));
    return recovery;
  }
  ParsedJournal journal = Parse(*content);
  recovery.problems = std::move(journal.problems);
  nextId_ = journal.highestId + 1;
  std::string compacted;
  for (auto& [id, call] : journal.pending) {
    compacted += FormatCallRecord(call);
    recovery.pending.push_back(std::move(call));
  }
  if (compacted != *content && !store_.Replace(compacted)) {
    recovery.problems.push_back("Call journal: cannot compact " +
                                std::string(kCallJournalFileName));
  }
  return recovery;
}

bool CallJournal::Record(QueuedCall& call) {
  std::lock_guard guard(lock_);
  call.id = nextId_++;
  return store_.Append(FormatCallRecord(call));
}

bool CallJournal::Strike(std::uint64_t id) {
  if (id == 0) return true;
  std::lock_guard guard(lock_);
  // Not flushed one by one: a flush per written row would halve the rate at which calls reach
  // the database after an outage, and a lost mark costs a duplicate row, not a call.
  return store_.AppendUnsynced(FormatStrikeRecord(id));
}

bool CallJournal::Flush() {
  std::lock_guard guard(lock_);
  return store_.Sync();
}

}  // namespace qelto
