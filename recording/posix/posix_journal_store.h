#pragma once

#include <mutex>
#include <string>

#include "recording/journal_store.h"

namespace qelto {

// The call journal as a file: appends are written with O_APPEND and flushed to the disk with
// fdatasync before they count; a replacement is written beside the file and renamed over it.
class PosixJournalStore : public JournalStore {
 public:
  explicit PosixJournalStore(std::string path);
  ~PosixJournalStore() override;
  PosixJournalStore(const PosixJournalStore&) = delete;
  PosixJournalStore& operator=(const PosixJournalStore&) = delete;

  bool Append(std::string_view record) override;
  std::optional<std::string> ReadAll() override;
  bool Replace(std::string_view content) override;

 private:
  void CloseFile();

  const std::string path_;
  std::mutex lock_;
  int fd_ = -1;  // opened at the first append, reopened after a replacement
};

}  // namespace qelto
