#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qelto {

class DriverBinding;

// The minimum driver version the recorder runs with.
inline constexpr std::string_view kRequiredDriverVersion = "+2.0";

// The version that follows "VER " (any letter case) up to the CR LF that ends it; empty when there
// is none.
std::string ExtractVersion(std::string_view info);

// The signed version string of one information text: "+" and the version for a UTF-16 text, "-"
// and the version for an 8-bit text, the sign alone when no version was found within the first 30
// characters, and empty when the text does not begin with "POS".
std::string DriverVersionOf(const void* infoText);

// Whether `version` is not below `required`. Byte-wise order, except that two UTF-16 versions
// which are both dot-separated numbers compare by their numbers (2 = 2.0 < 2.0.1 < 2.1 < 10.0).
bool VersionNotBelow(std::string_view version, std::string_view required);

// Number of device lines (from the fifth line on) whose state, in their last 13 characters,
// reads "connected" and not "disconnected". 8-bit texts are counted from their 8-bit reading.
std::int32_t ConnectedDeviceCountOf(const void* infoText);

// The whole information text as the recorder's text (UTF-8); an 8-bit text as it is. Empty for
// null, and when reading it failed.
std::string InfoTextOf(const void* infoText);

// The same, asking the bound driver for a fresh information text.
std::string DriverVersion(const DriverBinding& driver);
bool CheckDriverVersion(const DriverBinding& driver, std::string_view required);
std::int32_t ConnectedDeviceCount(const DriverBinding& driver);
// Empty when the driver is not ready.
std::string DriverInfoText(const DriverBinding& driver);

}  // namespace qelto
