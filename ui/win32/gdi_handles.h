#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace qelto {

// Owning handles for the user-interface objects the recorder makes itself. Icons loaded as shared
// resources (LoadIcon) are not owned and must not go into these.
struct IconDeleter {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct MenuDeleter {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};

using IconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using BrushHandle = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;
using BitmapHandle = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using MenuHandle = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

}  // namespace qelto
