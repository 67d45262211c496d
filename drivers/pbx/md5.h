#pragma once

#include <string>
#include <string_view>

namespace qelto::cidr {

// The MD5 digest of `bytes` as 32 lower-case hexadecimal digits, as the manager interface's
// challenge login wants it. Defined once per platform, from the system's own cryptography.
std::string Md5Hex(std::string_view bytes);

// How the telephone system's device reaches it, so its logic stays pure and testable.
using Md5HexFunction = std::string (*)(std::string_view);

}  // namespace qelto::cidr
