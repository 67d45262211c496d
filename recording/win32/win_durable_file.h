#pragma once

#include <mutex>
#include <string>

#include "common/win32/unique_handle.h"
#include "recording/durable_file.h"

namespace qelto {

// A durable file on Windows: appends go to the end of the file and are flushed to the disk with
// FlushFileBuffers before they count; a replacement is written beside the file and moved over it
// with MoveFileEx, write-through. Others may read the file while it is open.
class WinDurableFile : public DurableFile {
 public:
  explicit WinDurableFile(std::string path);  // UTF-8
  WinDurableFile(const WinDurableFile&) = delete;
  WinDurableFile& operator=(const WinDurableFile&) = delete;

  bool Append(std::string_view record) override;
  bool AppendUnsynced(std::string_view record) override;
  bool Sync() override;
  std::optional<std::string> ReadAll() override;
  bool Replace(std::string_view content) override;

 private:
  bool OpenForAppend();  // with lock_ held

  const std::wstring path_;
  std::mutex lock_;
  UniqueHandle file_;  // opened at the first append, reopened after a replacement
};

}  // namespace qelto
