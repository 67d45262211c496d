#pragma once

#include <string>

namespace qelto {

// The folder that holds the running executable (no trailing slash); empty if unknown.
std::string ExecutableDirectory();

}  // namespace qelto
