#include "ui/win32/clipboard.h"

#include <cstring>

namespace qelto {
namespace {

// Open between construction and destruction.
class OpenClipboardScope {
 public:
  explicit OpenClipboardScope(HWND owner) : open_(OpenClipboard(owner) != 0) {}
  ~OpenClipboardScope() {
    if (open_) CloseClipboard();
  }
  OpenClipboardScope(const OpenClipboardScope&) = delete;
  OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
  bool open() const { return open_; }

 private:
  bool open_;
};

}  // namespace

bool PutOnClipboard(HWND owner, std::wstring_view text) {
  const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (memory == nullptr) return false;
  if (void* place = GlobalLock(memory)) {
    std::memcpy(place, text.data(), text.size() * sizeof(wchar_t));
    static_cast<wchar_t*>(place)[text.size()] = L'\0';
    GlobalUnlock(memory);
  } else {
    GlobalFree(memory);
    return false;
  }
  const OpenClipboardScope clipboard(owner);
  // Once SetClipboardData took the memory, it is the clipboard's to free.
  if (!clipboard.open() || !EmptyClipboard() || !SetClipboardData(CF_UNICODETEXT, memory)) {
    GlobalFree(memory);
    return false;
  }
  return true;
}

}  // namespace qelto
