#include "drivers/pbx/reported_calls.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "drivers/pbx/pbx_calls.h"

namespace qelto::cidr {
namespace {

constexpr std::string_view kHeader{kReportedCallsHeader, sizeof(kReportedCallsHeader) - 1};

bool IsStorableKey(std::string_view key) {
  if (key.empty() || key.size() > kMaxStoredKey) return false;
  return std::all_of(key.begin(), key.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

// One record without its line end; false when it is not one.
bool ParseRecord(std::string_view line, std::int64_t& time, std::string_view& key) {
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos || blank == 0 || blank > 19) return false;
  const char* end = line.data() + blank;
  if (std::from_chars(line.data(), end, time).ptr != end || time < 0) return false;
  key = line.substr(blank + 1);
  return IsStorableKey(key);
}

}  // namespace

ReportedCallsText ParseReportedCalls(std::string_view text, std::int64_t now) {
  ReportedCallsText parsed;
  if (!text.starts_with(kHeader)) {
    // Nothing, or a header cut as it was first written, is a file begun; anything else is not ours.
    parsed.damaged = !kHeader.starts_with(text);
    return parsed;
  }
  parsed.whole_bytes = kHeader.size();
  for (std::size_t at = kHeader.size(); at < text.size();) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) break;  // cut by a power cut: that call was not handed on
    std::int64_t time = 0;
    std::string_view key;
    if (!ParseRecord(text.substr(at, end - at), time, key)) {
      parsed = {};
      parsed.damaged = true;
      return parsed;
    }
    ++parsed.records;
    if (now - time <= kRememberedFor) parsed.calls.push_back({time, std::string(key)});
    at = end + 1;
    parsed.whole_bytes = at;
  }
  return parsed;
}

std::string ReportedCallRecord(std::int64_t now, std::string_view key) {
  if (!IsStorableKey(key)) return {};
  return std::to_string(now) + " " + std::string(key) + "\n";
}

ReportedCallsFile::ReportedCallsFile(const std::string& path, std::int64_t now,
                                     std::string& problem) {
  std::string text;
  std::string why;
  file_ = DriverFile::Open(path, kMaxReportedCallsBytes, text, why);
  if (!file_) {
    problem = "calls file " + path + " not usable (" + why +
              "): a call in progress when the recorder restarts may be recorded twice";
    return;
  }
  ReportedCallsText parsed = ParseReportedCalls(text, now);
  if (text.size() > kMaxReportedCallsBytes) parsed = {{}, 0, 0, true};
  if (parsed.damaged) problem = "calls file " + path + " was not one of ours, begun anew";
  for (StoredCall& call : parsed.calls) {
    recent_.push_back(std::move(call));
    if (recent_.size() > PbxCallTracker::kRememberedCalls) recent_.pop_front();
  }
  records_ = parsed.records;
  if (parsed.damaged || parsed.whole_bytes != text.size() || text.empty() ||
      records_ >= kMaxStoredCalls) {
    Rewrite();
  }
}

std::vector<std::string> ReportedCallsFile::keys() const {
  std::vector<std::string> keys;
  keys.reserve(recent_.size());
  for (const StoredCall& call : recent_) keys.push_back(call.key);
  return keys;
}

void ReportedCallsFile::Add(std::string_view key, std::int64_t now) {
  const std::string record = ReportedCallRecord(now, key);
  if (record.empty()) return;
  recent_.push_back({now, std::string(key)});
  if (recent_.size() > PbxCallTracker::kRememberedCalls) recent_.pop_front();
  if (!file_) return;
  if (++records_ >= kMaxStoredCalls) return Rewrite();
  file_->Append(record);
}

void ReportedCallsFile::Rewrite() {
  if (!file_) return;
  std::string text(kHeader);
  for (const StoredCall& call : recent_) text += ReportedCallRecord(call.time, call.key);
  records_ = recent_.size();
  file_->Replace(text);
}

}  // namespace qelto::cidr
