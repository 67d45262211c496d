#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qelto::cidr {

// The file in which a telephone system's device keeps the keys of the calls it reported, so that
// a recorder started again in the middle of a call (an upgrade, a log-out) does not record it a
// second time. It lies in the recorder's working folder, one per device line:
inline std::string ReportedCallsFileName(std::int32_t line) {
  return "pbx-calls-line-" + std::to_string(line) + ".txt";
}

// Its text: a header line, then one record per reported call, oldest first,
//   qelto pbx calls 1
//   1796899161 1796899161.45        the driver's clock (seconds since 1970) and the call's key
// A key is the Uniqueid of the call's first channel, which holds the second the system made it,
// so a system restarted (its counters begun at 0 again) does not give an old key to a new call
// unless its clock went back; records older than kRememberedFor are forgotten besides.
inline constexpr char kReportedCallsHeader[] = "qelto pbx calls 1\n";
inline constexpr std::int64_t kRememberedFor = 12 * 3600;
// Keys longer than this, or with blanks or control bytes, are kept in memory only.
inline constexpr std::size_t kMaxStoredKey = 120;
// The file is rewritten with the newest records once it holds this many.
inline constexpr std::size_t kMaxStoredCalls = 2 * 4096;
// A file this large is not ours.
inline constexpr std::size_t kMaxReportedCallsBytes = kMaxStoredCalls * (kMaxStoredKey + 24);

inline std::int64_t SecondsSince1970() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

struct StoredCall {
  std::int64_t time = 0;
  std::string key;
  friend bool operator==(const StoredCall&, const StoredCall&) = default;
};

struct ReportedCallsText {
  std::vector<StoredCall> calls;  // oldest first, those within kRememberedFor of `now`
  std::size_t records = 0;        // whole records in the file, old ones too
  std::size_t whole_bytes = 0;    // the header and the whole records; a cut last one follows
  bool damaged = false;           // not such a file: begun anew
};

// Reads the file's text at `now` (seconds since 1970). Empty text is a new file. Pure.
ReportedCallsText ParseReportedCalls(std::string_view text, std::int64_t now);
// One record, or empty when `key` is not to be stored.
std::string ReportedCallRecord(std::int64_t now, std::string_view key);

// A regular file of the driver's own, opened without waiting (a FIFO or a device is refused
// rather than waited on). One implementation per platform.
class DriverFile {
 public:
  virtual ~DriverFile() = default;
  // Opens `path` for reading and writing, creating it (readable by its owner only). Null, with
  // `problem` set, when it cannot be had or is not a regular file; else `text` holds up to
  // `max_bytes` + 1 of its bytes.
  static std::unique_ptr<DriverFile> Open(const std::string& path, std::size_t max_bytes,
                                          std::string& text, std::string& problem);
  // Replaces the file's contents with `text`, synced to the disk; false when it could not.
  virtual bool Replace(std::string_view text) = 0;
  // Appends `text`, handing it to the system (no buffer of ours), so a process ending now loses
  // nothing.
  virtual bool Append(std::string_view text) = 0;
};

// The keys of one device's reported calls, as the file keeps them. Used by that device's thread
// only.
class ReportedCallsFile {
 public:
  // Opens the file at `path` and reads the keys it holds at `now`. Never fails: without a usable
  // file the keys live in memory only, and `problem` says why in one line. A damaged or foreign
  // file is begun anew, and `problem` says so.
  ReportedCallsFile(const std::string& path, std::int64_t now, std::string& problem);

  // The keys read, oldest first.
  std::vector<std::string> keys() const;
  // Keeps `key`, reported at `now`, before the call goes on to the recorder.
  void Add(std::string_view key, std::int64_t now);
  // Keeps the keys of the calls about to be handed on, reported now.
  void Keep(const std::vector<std::string>& keys) {
    for (const std::string& key : keys) Add(key, SecondsSince1970());
  }

 private:
  void Rewrite();

  std::unique_ptr<DriverFile> file_;
  std::deque<StoredCall> recent_;  // what a rewrite keeps: the newest, as the tracker does
  std::size_t records_ = 0;        // in the file
};

}  // namespace qelto::cidr
