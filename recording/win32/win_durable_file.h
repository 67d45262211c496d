#pragma once

#include <mutex>
#include <string>

#include "common/win32/unique_handle.h"
#include "recording/durable_file.h"

namespace qelto {

// A durable file on Windows: appends go to the end of the file and are flushed to the disk with
// FlushFileBuffers before they count; a replacement is written beside the file and moved over it
// with MoveFileEx, write-through. Others may read the file while it is open, and delete or rename
// it (which Intact() then notices). Windows replaces no file that another program holds open: a
// replacement then fails, and works again once that program has let go.
class WinDurableFile : public DurableFile {
 public:
  // `path` in UTF-8. A relative path is taken from the current folder now, so that the file can be
  // made again where it was even after its folder was deleted.
  explicit WinDurableFile(const std::string& path);
  WinDurableFile(const WinDurableFile&) = delete;
  WinDurableFile& operator=(const WinDurableFile&) = delete;

  bool Append(std::string_view record) override;
  bool AppendUnsynced(std::string_view record) override;
  bool Sync() override;
  std::optional<std::string> ReadAll() override;
  bool Replace(std::string_view content) override;
  bool Intact() override;

  std::string Path() const;  // UTF-8

 private:
  bool OpenForAppend();                       // with lock_ held
  bool AppendWhole(std::string_view record);  // with lock_ held
  bool WriteReplacement(const std::wstring& temporary, std::string_view content);

  const std::wstring path_;
  std::mutex lock_;
  UniqueHandle file_;  // opened at the first append, reopened after a replacement
};

}  // namespace qelto
