#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qelto {

// A text file whose writes reach the disk before they count: the call journal, and the file of
// calls set aside.
class DurableFile {
 public:
  virtual ~DurableFile() = default;
  // Appends `record` at the end and makes it durable (on disk, not only in a cache) before
  // returning. False when it could not be written whole; what was written of it is then cut
  // back where the file system lets us.
  virtual bool Append(std::string_view record) = 0;
  // Appends `record` at the end, handed to the operating system at once (so it survives the
  // process being killed) but not yet flushed to the disk. False when it could not be written.
  virtual bool AppendUnsynced(std::string_view record) = 0;
  // Flushes what was appended to the disk. False on failure.
  virtual bool Sync() = 0;
  // The whole content; empty when there is no journal yet; nullopt when it exists but cannot be
  // read.
  virtual std::optional<std::string> ReadAll() = 0;
  // Replaces the whole content at once: a crash leaves either the old or the new content. Makes
  // the file anew (its folder too) when it is gone.
  virtual bool Replace(std::string_view content) = 0;
  // False when the file that appends go to is no longer the one at the file's path: someone
  // deleted, renamed or replaced it. True before the first append.
  virtual bool Intact() = 0;
};

}  // namespace qelto
