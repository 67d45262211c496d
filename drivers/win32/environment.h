#pragma once

#include <optional>
#include <string>

namespace qelto::cidr {

// The value of the process's environment variable `name`, in UTF-8; nullopt when it is unset.
// Read from the process's own environment block, which SetEnvironmentVariable changes, rather
// than from a C runtime's copy of it.
std::optional<std::string> EnvironmentValue(const wchar_t* name);

// The current user's security identifier as text ("S-1-5-21-..."); empty when it cannot be had.
std::string CurrentUserSid();

}  // namespace qelto::cidr
