#pragma once

#include <string>

namespace qelto {

// The folder that holds the running executable, in UTF-8, without a trailing backslash; empty if
// unknown.
std::string ExecutableDirectory();

}  // namespace qelto
