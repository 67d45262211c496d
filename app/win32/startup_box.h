#pragma once

#include <string>

namespace qelto {

// The start-up error box with the given (Persian) text, right to left: written to standard error
// (with `detail`, when given, so an installer sees why), then shown and waited for.
void ShowStartupBox(const char* text, const std::string& detail);

}  // namespace qelto
