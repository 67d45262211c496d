#include "drivers/win32/overlapped_io.h"

namespace qelto::cidr {
namespace {

// Finishes an operation that was just started: `started` is what ReadFile or WriteFile said.
std::optional<DWORD> Finish(HANDLE handle, OVERLAPPED& overlapped, BOOL started, DWORD timeout_ms) {
  if (!started && GetLastError() != ERROR_IO_PENDING) return std::nullopt;
  if (WaitForSingleObject(overlapped.hEvent, timeout_ms) != WAIT_OBJECT_0) {
    CancelAndWait(handle, overlapped);
    SetLastError(WAIT_TIMEOUT);
    return std::nullopt;
  }
  DWORD done = 0;
  if (!GetOverlappedResult(handle, &overlapped, &done, FALSE)) return std::nullopt;
  return done;
}

}  // namespace

std::optional<DWORD> ReadWithin(HANDLE handle, void* data, DWORD size, DWORD timeout_ms,
                                HANDLE event) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  const BOOL started = ReadFile(handle, data, size, nullptr, &overlapped);
  return Finish(handle, overlapped, started, timeout_ms);
}

std::optional<DWORD> WriteWithin(HANDLE handle, const void* data, DWORD size, DWORD timeout_ms,
                                 HANDLE event) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  const BOOL started = WriteFile(handle, data, size, nullptr, &overlapped);
  return Finish(handle, overlapped, started, timeout_ms);
}

void CancelAndWait(HANDLE handle, OVERLAPPED& overlapped) {
  if (HasOverlappedIoCompleted(&overlapped)) return;
  CancelIoEx(handle, &overlapped);
  DWORD done = 0;
  GetOverlappedResult(handle, &overlapped, &done, TRUE);
}

}  // namespace qelto::cidr
