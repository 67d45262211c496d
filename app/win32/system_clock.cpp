#include "app/win32/system_clock.h"

#include <windows.h>

namespace qelto {

std::uint32_t SystemClock::Tick() const {
  return static_cast<std::uint32_t>(GetTickCount());
}

LocalDateTime SystemClock::Now() const {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

}  // namespace qelto
