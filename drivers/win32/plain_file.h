#pragma once

#include <windows.h>

#include <string>

#include "common/win32/unique_handle.h"

namespace qelto::cidr {

// The driver's files (its configuration, the raw data file) are plain files on a disk. Anything
// else at their names is refused, as the recorder refuses it for its own: a named pipe would
// hold the driver until its other end read, a device (NUL, COM1) or a folder holds no file, and
// a symbolic link or junction could send the callers' numbers elsewhere.

// Opens `path` (UTF-8) as CreateFileW does with `access`, `share` and `disposition`, but only a
// plain file. When something else stands there, the handle is invalid and `problem` says what
// ("it is a folder, not a regular file") and the last error is ERROR_INVALID_PARAMETER; when the
// open itself failed, `problem` is the system's text and the last error CreateFileW's.
UniqueHandle OpenPlainFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                           std::string& problem);

}  // namespace qelto::cidr
