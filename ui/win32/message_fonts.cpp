#include "ui/win32/message_fonts.h"

#include <cwchar>

namespace qelto {
namespace {

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

}  // namespace

bool FontInstalled(const wchar_t* family) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(wanted.lfFaceName, family, LF_FACESIZE - 1);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &wanted, FoundFamily, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

FontHandle MessageFont(const wchar_t* family, int pixels, bool bold, bool arabic, int dpi) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(pixels, dpi, 96);
  font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = arabic ? ARABIC_CHARSET : DEFAULT_CHARSET;
  font.lfQuality = DEFAULT_QUALITY;
  wcsncpy(font.lfFaceName, FontInstalled(family) ? family : L"Tahoma", LF_FACESIZE - 1);
  return FontHandle(CreateFontIndirectW(&font));
}

}  // namespace qelto
