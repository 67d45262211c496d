#pragma once

#include <mutex>
#include <string>

#include "recording/durable_file.h"

namespace qelto::bench {

// A journal file that syncs like PosixDurableFile (write, then fdatasync per record) except
// inside a batch, where records are only written and one fdatasync at the end of the batch makes
// them all durable. It stands in for the change the benchmark weighs: syncing the strike records
// of one drain once, at its end, instead of once per row.
class StrikeBatchingFile : public DurableFile {
 public:
  explicit StrikeBatchingFile(std::string path);
  ~StrikeBatchingFile() override;
  StrikeBatchingFile(const StrikeBatchingFile&) = delete;
  StrikeBatchingFile& operator=(const StrikeBatchingFile&) = delete;

  bool Append(std::string_view record) override;
  // Not needed by the benchmark: an empty journal, and no replacement.
  std::optional<std::string> ReadAll() override { return std::string(); }
  bool Replace(std::string_view) override { return false; }

  void BeginBatch();
  // Makes every record of the batch durable. False when the sync failed.
  bool EndBatch();

 private:
  bool OpenOnce();

  const std::string path_;
  std::mutex lock_;
  int fd_ = -1;
  bool batching_ = false;
};

}  // namespace qelto::bench
