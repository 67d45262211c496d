#pragma once

#include <string>
#include <system_error>

#include "recording/posix/regular_file.h"

namespace qelto::cidr {

// The driver's files (its configuration, the raw data file) are opened as the recorder opens its
// own, with OpenRegularFile: never waiting on a FIFO, never following a symbolic link.

// Why OpenRegularFile failed for `path` with `error`: what stands there when it is no regular
// file ("it is a FIFO, not a regular file"), else the system's text.
inline std::string NotARegularFile(const std::string& path, int error) {
  // Not only EINVAL and ELOOP: a FIFO without a reader refuses a writer with ENXIO.
  const std::string kind = NonRegularKind(path);
  if (kind.empty()) return std::generic_category().message(error);
  return "it is " + kind + ", not a regular file";
}

}  // namespace qelto::cidr
