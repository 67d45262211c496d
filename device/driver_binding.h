#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "device/driver_abi.h"
#include "device/library_loader.h"

namespace qelto {

// Receives every driver event: the code and the event text, copied out of the driver's buffer.
// It runs on the driver's own thread.
using EventHandler = std::function<void(std::int32_t code, const std::u16string& text)>;

// The recorder's link to the caller-ID driver library: loads it once, resolves its four entry
// points, and bridges the driver's event callback to one handler.
//
// The driver knows only a plain function (`CallerEventStub`), so the installed handler is
// process-wide: one driver, one handler. Loading happens once per process in production; tests
// may load several bindings one after another.
class DriverBinding {
 public:
  DriverBinding() = default;
  DriverBinding(const DriverBinding&) = delete;
  DriverBinding& operator=(const DriverBinding&) = delete;

  // The load step: loads the library through `loader` and resolves "CIDR_Info",
  // "CIDR_RegisterEvent", "CIDR_SaveLine" and "CIDR_PlayLine", in that order. The library stays
  // loaded for the life of this object even when an entry point is missing.
  void Load(LibraryLoader& loader);

  // True exactly when the library was loaded and all four entry points were found.
  bool DriverReady() const { return ready_; }

  // Calls "CIDR_Info"; null when the driver is not ready.
  const void* Info() const;

  // Installs `handler` (before telling the driver, so an event delivered during registration
  // already finds it) and registers the stub with `value`; with an empty handler, tells the driver
  // null and 0. Returns the driver's result. Only to be called when the driver is ready.
  std::int32_t RegisterCallerEvent(std::int32_t value, EventHandler handler);

  // Withdraws the handler for good: when this returns, no handler call is running and none will
  // start, whatever the driver still delivers. Then tells the driver null and 0. Used at shutdown,
  // before the state that the handler touches is released.
  void WithdrawCallerEvent();

  // The function handed to the driver. Copies the text (up to its first NUL; null gives the empty
  // text) and passes it to the installed handler on the calling thread. A failure inside the
  // handler is swallowed here: it must never unwind into the driver's code.
  CIDR_CALLBACK_ENTRY static void CIDR_CALL CallerEventStub(std::int32_t code,
                                                            const char16_t* text);

 private:
  std::unique_ptr<DriverLibrary> library_;
  CIDR_InfoFunction info_ = nullptr;
  CIDR_RegisterEventFunction registerEvent_ = nullptr;
  void* saveLine_ = nullptr;  // resolved, never called
  void* playLine_ = nullptr;  // resolved, never called
  bool ready_ = false;
};

}  // namespace qelto
