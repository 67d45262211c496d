#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qelto {

// The recorder's own files (the call journal and its side files, their lock, the log) are regular
// files in its working folder. Anything else at their names, a FIFO, a device, a folder or a
// symbolic link, is someone else's: opening it for reading could wait for ever, writing into it
// could feed a pipe or a file elsewhere.

// Opens `path` with `flags` as open(2) does, but only a regular file: never follows a symbolic
// link, never waits for the other end of a FIFO. A descriptor, or -1 with errno set (ELOOP for a
// symbolic link, EINVAL for anything else that is no regular file).
int OpenRegularFile(const std::string& path, int flags, mode_t mode = 0);

// What stands at `path` when it is there and no regular file ("a FIFO", "a symbolic link", ...);
// empty when it is a regular file or nothing is there.
std::string NonRegularKind(const std::string& path);

// The first of `paths` that is there and no regular file, as a line for standard error and the
// log; empty when all are regular files or missing.
std::string RefuseNonRegularFiles(const std::vector<std::string>& paths);

}  // namespace qelto
