#include "device/driver_binding.h"

#include <mutex>
#include <new>
#include <shared_mutex>
#include <utility>

#include "device/driver_text.h"

namespace qelto {
namespace {

// The handler the driver's events reach. Calls hold the lock shared, so events on several driver
// threads run side by side; installing and withdrawing hold it exclusively, so a withdrawal waits
// for every handler call already running.
struct HandlerSlot {
  std::shared_mutex lock;
  EventHandler handler;
};

// Never destroyed: a driver that ignores the withdrawal may still call the stub while the process
// runs its exit handlers, and must then find a valid, empty slot.
HandlerSlot& EventHandlerSlot() {
  alignas(HandlerSlot) static unsigned char storage[sizeof(HandlerSlot)];
  static HandlerSlot* const slot = ::new (storage) HandlerSlot();
  return *slot;
}

std::u16string CopyEventText(const char16_t* text) {
  std::u16string copy;
  if (text == nullptr) return copy;
  for (std::size_t i = 0; i < kMaxDriverTextLength && text[i] != 0; ++i) copy.push_back(text[i]);
  return copy;
}

template <typename Function>
Function Resolve(const DriverLibrary& library, const char* name) {
  return reinterpret_cast<Function>(library.Symbol(name));
}

}  // namespace

void DriverBinding::Load(LibraryLoader& loader) {
  library_ = loader.Load();
  if (!library_) return;
  info_ = Resolve<CIDR_InfoFunction>(*library_, "CIDR_Info");
  registerEvent_ = Resolve<CIDR_RegisterEventFunction>(*library_, "CIDR_RegisterEvent");
  saveLine_ = library_->Symbol("CIDR_SaveLine");
  playLine_ = library_->Symbol("CIDR_PlayLine");
  ready_ =
      info_ != nullptr && registerEvent_ != nullptr && saveLine_ != nullptr && playLine_ != nullptr;
}

const void* DriverBinding::Info() const {
  return ready_ ? info_() : nullptr;
}

std::int32_t DriverBinding::RegisterCallerEvent(std::int32_t value, EventHandler handler) {
  const bool installing = static_cast<bool>(handler);
  {
    HandlerSlot& slot = EventHandlerSlot();
    std::unique_lock guard(slot.lock);
    slot.handler = std::move(handler);
  }
  if (!registerEvent_) return 0;
  return installing ? registerEvent_(&CallerEventStub, value) : registerEvent_(nullptr, 0);
}

void DriverBinding::WithdrawCallerEvent() {
  RegisterCallerEvent(0, EventHandler());
}

void CIDR_CALL DriverBinding::CallerEventStub(std::int32_t code, const char16_t* text) {
  try {
    const std::u16string copy = CopyEventText(text);
    HandlerSlot& slot = EventHandlerSlot();
    std::shared_lock guard(slot.lock);
    if (!slot.handler) return;
    slot.handler(code, copy);
  } catch (...) {
    // Nothing may unwind into the driver; the event is lost, the driver goes on.
  }
}

}  // namespace qelto
