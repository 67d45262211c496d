#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qelto {

// Which file a path names, as the file system tells it: two paths name one file exactly when their
// identities are equal, and a file deleted and made anew at the same path gets another identity.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path` (UTF-8); nullopt when no file is there or it cannot be
// reached. Cheap: one look at the file system, without reading the file.
std::optional<FileIdentity> IdentifyFile(const std::string& path);

// Whether others can delete, rename or replace a database file while SQLite holds it open. Not on
// Windows, where SQLite opens its files without FILE_SHARE_DELETE; there the file at the path
// cannot change under the connection, and its identity need not be looked up after every row
// (which costs an open of the path each time, far more than the row's INSERT under Wine).
bool OpenFilesCanBeReplaced();

// Removes the file at `path` when it is the file `identity` names, and leaves any other file
// there alone. Failures are not reported: the file is then simply still there.
void RemoveSameFile(const std::string& path, const FileIdentity& identity);

// Makes an empty file at `path`, readable and writable by its owner only, when nothing is there:
// SQLite gives its -wal and -shm files the permissions of the database file. A file that exists
// keeps its permissions. Failures are left to the opening that follows to report.
void CreateOwnerOnlyFile(const std::string& path);

}  // namespace qelto
