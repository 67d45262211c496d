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
    if (failWrites) return false;
    content.append(record);
    return true;
  }
  bool AppendUnsynced(std::string_view record) override {
    std::lock_guard guard(lock_);
    if (failWrites) return false;
    content.append(record);
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
    if (failWrites) return false;
    content = replacement;
    ++replacements;
    return true;
  }
  std::string Content() {
    std::lock_guard guard(lock_);
    return content;
  }

  std::string content;
  bool failWrites = false;
  bool failReads = false;
  int replacements = 0;
  int unsynced = 0;  // records appended since the last Sync
  int syncs = 0;

 private:
  std::mutex lock_;
};

}  // namespace qelto::testing_support
