#pragma once

#include <string>

namespace qelto {

// Where the server settings file is read from.
class SettingsSource {
 public:
  virtual ~SettingsSource() = default;
  // The file's full path, as the log and the error texts name it.
  virtual std::string Path() const = 0;
  // Reads the whole file into `content`. On failure returns false and sets `osError` to the
  // operating system's description of the error.
  virtual bool Read(std::string& content, std::string& osError) = 0;
  // Whether the file read last can be read by every user of the computer, not only by its owner
  // and group. False where the platform does not tell.
  virtual bool ReadableByOthers() const { return false; }
};

}  // namespace qelto
