#pragma once

#include <mutex>
#include <string>

#include "recording/durable_file.h"

namespace qelto {

// A durable file on a POSIX file system: appends are written with O_APPEND and flushed to the disk
// with fdatasync before they count; a replacement is written beside the file and renamed over it.
class PosixDurableFile : public DurableFile {
 public:
  // A relative `path` is taken from the current folder now, so that the file can be made again
  // where it was even after its folder was deleted.
  explicit PosixDurableFile(const std::string& path);
  ~PosixDurableFile() override;
  PosixDurableFile(const PosixDurableFile&) = delete;
  PosixDurableFile& operator=(const PosixDurableFile&) = delete;

  bool Append(std::string_view record) override;
  bool AppendUnsynced(std::string_view record) override;
  bool Sync() override;
  std::optional<std::string> ReadAll() override;
  bool Replace(std::string_view content) override;
  bool Intact() override;

  const std::string& Path() const { return path_; }

 private:
  void CloseFile();
  bool OpenForAppend();                       // with lock_ held
  bool AppendWhole(std::string_view record);  // with lock_ held
  bool WriteReplacement(const std::string& temporary, std::string_view content);

  const std::string path_;
  std::mutex lock_;
  int fd_ = -1;  // opened at the first append, reopened after a replacement
};

}  // namespace qelto
