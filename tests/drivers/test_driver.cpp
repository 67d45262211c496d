// A trivial stand-in for the caller-ID driver library, built in several variants (see
// CMakeLists.txt) for the recorder's tests of driver binding and version checking. It delivers
// an event only when a test asks it to, through its extra entry point "TestDriver_Deliver".
//
// Compile definitions:
//   QELTO_TEST_DRIVER_VERSION=<x>  the version written after "VER " (e.g. 2.1)
//   QELTO_TEST_DRIVER_ANSI         8-bit information text instead of UTF-16
//   QELTO_TEST_DRIVER_NOT_POS      information text not beginning with "POS"
//   QELTO_TEST_DRIVER_NO_PLAYLINE  leave out the CIDR_PlayLine entry point

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "device/driver_abi.h"

#if defined(_WIN32)
#define QELTO_TEST_DRIVER_EXPORT __declspec(dllexport)
#else
#define QELTO_TEST_DRIVER_EXPORT __attribute__((visibility("default")))
#endif
#define QELTO_TEST_DRIVER_STRING(x) #x
#define QELTO_TEST_DRIVER_EXPAND(x) QELTO_TEST_DRIVER_STRING(x)
#define QELTO_TEST_DRIVER_VERSION_TEXT QELTO_TEST_DRIVER_EXPAND(QELTO_TEST_DRIVER_VERSION)

#if defined(QELTO_TEST_DRIVER_NOT_POS)
#define QELTO_TEST_DRIVER_HEAD "CID POS"
#else
#define QELTO_TEST_DRIVER_HEAD "POS CID"
#endif

#define QELTO_TEST_DRIVER_INFO(state)                              \
  QELTO_TEST_DRIVER_HEAD "\r\nVER " QELTO_TEST_DRIVER_VERSION_TEXT \
                         "\r\n"                                    \
                         "Ports 1\r\nDevices\r\nLine 1: " state "\r\n"

namespace {

#if defined(QELTO_TEST_DRIVER_ANSI)
constexpr char kInfo[] = QELTO_TEST_DRIVER_INFO("Connected");
constexpr char kInfoUnplugged[] = QELTO_TEST_DRIVER_INFO("Disconnected");
#else
constexpr char16_t kInfo[] = u"" QELTO_TEST_DRIVER_INFO("Connected");
constexpr char16_t kInfoUnplugged[] = u"" QELTO_TEST_DRIVER_INFO("Disconnected");
#endif

std::atomic<CIDR_EventCallback> registered_callback{nullptr};
std::atomic<bool> unplugged{false};

void Deliver(std::int32_t code, const std::u16string& text) {
  if (CIDR_EventCallback callback = registered_callback) callback(code, text.c_str());
}

void RunCommand(const std::string& line) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  if (command == "call") {
    std::int32_t number = 0;
    std::string digits;
    words >> number >> digits;
    Deliver(number, u"C" + std::u16string(digits.begin(), digits.end()));
  } else if (command == "unplug" || command == "plug") {
    unplugged = command == "unplug";
    Deliver(0, command == "unplug" ? u"SLine 1 unplugged" : u"SLine 1 plugged");
  }
}

// Polls the script file and runs the complete lines added since the last look, for the life of
// the process.
void WatchScript(std::string path) {
  std::streamoff done = 0;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream script(path, std::ios::binary);
    if (!script.seekg(done)) continue;
    std::string line;
    while (std::getline(script, line) && !script.eof()) {
      done += static_cast<std::streamoff>(line.size()) + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      RunCommand(line);
    }
  }
}

void StartScriptOnce() {
  static std::once_flag started;
  std::call_once(started, [] {
    if (const char* path = std::getenv("QELTO_TEST_DRIVER_SCRIPT")) {
      std::thread(WatchScript, std::string(path)).detach();
    }
  });
}

}  // namespace

extern "C" {

QELTO_TEST_DRIVER_EXPORT const void* CIDR_CALL CIDR_Info() {
  if (unplugged) return kInfoUnplugged;
  return kInfo;
}

QELTO_TEST_DRIVER_EXPORT std::int32_t CIDR_CALL CIDR_RegisterEvent(CIDR_EventCallback callback,
                                                                   std::int32_t /*value*/) {
  registered_callback = callback;
  if (callback != nullptr) StartScriptOnce();
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

// Not part of a driver: calls the registered callback as the driver's own code would, through
// the callback convention of the driver interface. 0 when none is registered, else 1.
QELTO_TEST_DRIVER_EXPORT std::int32_t CIDR_CALL TestDriver_Deliver(std::int32_t code,
                                                                   const char16_t* text) {
  const CIDR_EventCallback callback = registered_callback.load();
  if (callback == nullptr) return 0;
  callback(code, text);
  return 1;
}

}  // extern "C"
