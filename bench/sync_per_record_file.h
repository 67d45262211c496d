#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "recording/posix/posix_durable_file.h"

namespace qelto::bench {

// The call journal's file as it was before strike records were synced once per drain: every
// append, AppendUnsynced too, is flushed to the disk before it returns. Kept so that the figures
// show what that change gained.
class SyncPerRecordFile : public DurableFile {
 public:
  explicit SyncPerRecordFile(std::string path) : file_(std::move(path)) {}

  bool Append(std::string_view record) override { return file_.Append(record); }
  bool AppendUnsynced(std::string_view record) override { return file_.Append(record); }
  // Nothing is left to flush; costs one fdatasync of a clean file per drain.
  bool Sync() override { return file_.Sync(); }
  std::optional<std::string> ReadAll() override { return file_.ReadAll(); }
  bool Replace(std::string_view content) override { return file_.Replace(content); }
  bool Intact() override { return file_.Intact(); }

 private:
  PosixDurableFile file_;
};

}  // namespace qelto::bench
