#pragma once

// What the durable file tests shared by Linux and Windows (durable_file_cases.cpp) need from a
// platform: its durable file, and the entries it can put at a file's name that are no plain file.
// posix_durable_file_test.cpp and win_durable_file_test.cpp hold what only their platform has.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "recording/durable_file.h"
#include "support/temp_dir.h"

namespace qelto::testing_support {

// The platform's durable file at `path`.
std::unique_ptr<DurableFile> MakeDurableFile(const std::string& path);

struct NotAPlainFile {
  const char* name;
  std::string path;
};

struct NotPlainFiles {
  std::vector<NotAPlainFile> cases;
  std::string left_out;  // why a case this platform knows could not be made here; empty if none
};

// Made in `dir`: each platform's kinds of entry that are no plain file, a symbolic link to
// `elsewhere` among them.
NotPlainFiles MakeNotPlainFiles(const TempDir& dir, const std::string& elsewhere);

}  // namespace qelto::testing_support
