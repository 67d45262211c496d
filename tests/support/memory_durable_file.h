#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "recording/durable_file.h"

namespace qelto::testing_support {

// A journal kept in memory that fails on demand, like a full disk.
class MemoryDurableFile : public DurableFile {
 public:
  bool Append(std::string_view record) override {
    std::lock_guard guard(lock_);
    return Write(record);
  }
  bool AppendUnsynced(std::string_view record) override {
    std::lock_guard guard(lock_);
    if (!Write(record)) return false;
    ++unsynced;
    return true;
  }
  bool Sync() override {
    std::lock_guard guard(lock_);
    if (failWrites) return false;
    unsynced = 0;
    ++syncs;
    return true;
  }
  std::optional<std::string> ReadAll() override {
    std::lock_guard guard(lock_);
    if (failReads) return std::nullopt;
    return content;
  }
  bool Replace(std::string_view replacement) override {
    std::lock_guard guard(lock_);
    if (failWrites || failReplace) return false;
    content = replacement;
    ++replacements;
    gone = false;
    return true;
  }
  bool Intact() override {
    std::lock_guard guard(lock_);
    return !gone;
  }
  // Someone deletes the file: its content is lost and appends no longer reach the path.
  void Delete() {
    std::lock_guard guard(lock_);
    content.clear();
    gone = true;
  }
  std::string Content() {
    std::lock_guard guard(lock_);
    return content;
  }

  std::string content;
  bool failWrites = false;
  bool tearFailedWrites = false;  // a failed write leaves the first half of its record behind
  bool failReplace = false;
  bool gone = false;
  bool failReads = false;
  int replacements = 0;
  int unsynced = 0;  // records appended since the last Sync
  int syncs = 0;

 private:
  bool Write(std::string_view record) {
    if (gone) return true;  // written into a file nobody will ever read again
    if (!failWrites) {
      content.append(record);
      return true;
    }
    if (tearFailedWrites) content.append(record.substr(0, record.size() / 2));
    return false;
  }

  std::mutex lock_;
};

}  // namespace qelto::testing_support
