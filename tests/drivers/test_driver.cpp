// A trivial stand-in for the caller-ID driver library, built in several variants (see
// CMakeLists.txt) for the recorder's tests of driver binding and version checking. It never
// delivers an event.
//
// Compile definitions:
//   QELTO_TEST_DRIVER_VERSION=<x>  the version written after "VER " (e.g. 2.1)
//   QELTO_TEST_DRIVER_ANSI         8-bit information text instead of UTF-16
//   QELTO_TEST_DRIVER_NOT_POS      information text not beginning with "POS"
//   QELTO_TEST_DRIVER_NO_PLAYLINE  leave out the CIDR_PlayLine entry point

#include <atomic>

#include "device/driver_abi.h"

#define QELTO_TEST_DRIVER_EXPORT __attribute__((visibility("default")))
#define QELTO_TEST_DRIVER_STRING(x) #x
#define QELTO_TEST_DRIVER_EXPAND(x) QELTO_TEST_DRIVER_STRING(x)
#define QELTO_TEST_DRIVER_VERSION_TEXT QELTO_TEST_DRIVER_EXPAND(QELTO_TEST_DRIVER_VERSION)

#if defined(QELTO_TEST_DRIVER_NOT_POS)
#define QELTO_TEST_DRIVER_HEAD "CID POS"
#else
#define QELTO_TEST_DRIVER_HEAD "POS CID"
#endif

#define QELTO_TEST_DRIVER_INFO                                     \
  QELTO_TEST_DRIVER_HEAD "\r\nVER " QELTO_TEST_DRIVER_VERSION_TEXT \
                         "\r\n"                                    \
                         "Ports 1\r\nDevices\r\nLine 1: Connected\r\n"

namespace {

#if defined(QELTO_TEST_DRIVER_ANSI)
constexpr char kInfo[] = QELTO_TEST_DRIVER_INFO;
#else
constexpr char16_t kInfo[] = u"" QELTO_TEST_DRIVER_INFO;
#endif

std::atomic<CIDR_EventCallback> registered_callback{nullptr};

}  // namespace

extern "C" {

QELTO_TEST_DRIVER_EXPORT const void* CIDR_CALL CIDR_Info() {
  return kInfo;
}

QELTO_TEST_DRIVER_EXPORT std::int32_t CIDR_CALL CIDR_RegisterEvent(CIDR_EventCallback callback,
                                                                   std::int32_t /*value*/) {
  registered_callback = callback;
  return 0;
}

QELTO_TEST_DRIVER_EXPORT std::int32_t CIDR_CALL CIDR_SaveLine(std::int32_t /*line*/) {
  return 0;
}

#if !defined(QELTO_TEST_DRIVER_NO_PLAYLINE)
QELTO_TEST_DRIVER_EXPORT std::int32_t CIDR_CALL CIDR_PlayLine(std::int32_t /*line*/) {
  return 0;
}
#endif

}  // extern "C"
