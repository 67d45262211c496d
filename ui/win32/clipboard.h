#pragma once

#include <windows.h>

#include <string_view>

namespace qelto {

// Puts `text` on the clipboard as Unicode text, replacing what was there; `owner` becomes the
// clipboard's owner. False when the clipboard is held by another program or memory is short.
bool PutOnClipboard(HWND owner, std::wstring_view text);

}  // namespace qelto
