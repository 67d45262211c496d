#pragma once

// The binary interface between the recorder and the caller-ID driver library. Shared by the
// recorder's binding and by our own driver libraries, so both sides agree on every signature.

#include <cstdint>

#if defined(_WIN32)
#define CIDR_CALL __stdcall
#else
#define CIDR_CALL
#endif

// Marks a function the driver calls from a thread of its own. A vendor's 32-bit Windows driver may
// call with its stack aligned to 4 bytes only; GCC's code assumes 16 unless told to realign.
#if defined(_WIN32) && defined(__i386__) && defined(__GNUC__)
#define CIDR_CALLBACK_ENTRY __attribute__((force_align_arg_pointer))
#else
#define CIDR_CALLBACK_ENTRY
#endif

extern "C" {

// Event callback handed to the driver. code: 0 for a status event, the line number (> 0) for a
// call event. text: NUL-terminated UTF-16 ("S..." status, "C<digits>" call), or null.
// The text needs to stay valid only for the duration of the call.
typedef void(CIDR_CALL* CIDR_EventCallback)(std::int32_t code, const char16_t* text);

// "CIDR_Info": pointer to a NUL-terminated information text, UTF-16 or 8-bit. The recorder reads
// it at once and never frees or keeps the pointer.
typedef const void*(CIDR_CALL* CIDR_InfoFunction)();

// "CIDR_RegisterEvent": installs (or, with null and 0, withdraws) the event callback.
typedef std::int32_t(CIDR_CALL* CIDR_RegisterEventFunction)(CIDR_EventCallback callback,
                                                            std::int32_t value);

}  // extern "C"

namespace qelto {

// The value the recorder passes with its callback; its meaning belongs to the driver.
inline constexpr std::int32_t kRegisterEventValue = 5;

}  // namespace qelto
