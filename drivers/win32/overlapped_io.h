#pragma once

#include <windows.h>

#include <optional>

namespace qelto::cidr {

// One read or write on a handle opened for overlapped I/O, waited for at most `timeout_ms`.
// The byte count, or nullopt when it failed or timed out (GetLastError() says which; the
// operation is then cancelled before this returns, so `data` may be reused at once).
// `event` is a manual-reset event of the caller's, not in use by anything else.
std::optional<DWORD> ReadWithin(HANDLE handle, void* data, DWORD size, DWORD timeout_ms,
                                HANDLE event);
std::optional<DWORD> WriteWithin(HANDLE handle, const void* data, DWORD size, DWORD timeout_ms,
                                 HANDLE event);

// Cancels the operation of `overlapped` on `handle`, if it is still running, and waits until
// the system no longer touches `overlapped` or its buffer.
void CancelAndWait(HANDLE handle, OVERLAPPED& overlapped);

}  // namespace qelto::cidr
