// The Windows user interface's own pictures and templates: the status icons kept as icon files in
// raw-data resources, the application icon, the button glyphs and the in-memory dialog template.
// The test executable carries the recorder's resources (resources/qelto.rc).

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "qelto_version.h"
#include "ui/message_layout.h"
#include "ui/win32/button_glyphs.h"
#include "ui/win32/dialog_template.h"
#include "ui/win32/icon_resource.h"

namespace qelto {
namespace {

struct IconSize {
  int width = 0;
  int height = 0;
};

IconSize SizeOf(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return {};
  BITMAP bitmap{};
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return {bitmap.bmWidth, info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

HINSTANCE Program() {
  return GetModuleHandleW(nullptr);
}

TEST(IconResource, EachStatusIconHasEveryImageOfItsFile) {
  for (const wchar_t* name : {L"ICONGOD", L"ICONBAD"}) {
    for (int size : {16, 24, 32, 48, 64}) {
      const IconHandle icon = LoadIconFileResource(Program(), name, size);
      ASSERT_TRUE(icon) << size;
      const IconSize loaded = SizeOf(icon.get());
      EXPECT_EQ(loaded.width, size);
      EXPECT_EQ(loaded.height, size);
    }
  }
}

TEST(IconResource, MissingResourceGivesNoIcon) {
  EXPECT_FALSE(LoadIconFileResource(Program(), L"ICONNONE", 16));
}

TEST(IconResource, ApplicationIconInTheAskedSize) {
  for (int size : {16, 32}) {
    const IconHandle icon = LoadApplicationIcon(Program(), size);
    ASSERT_TRUE(icon);
    EXPECT_EQ(SizeOf(icon.get()).width, size);
  }
}

// What Explorer's properties and the Task Manager show of the program: read back as they read it.
TEST(VersionResource, NamesTheProductAndItsVersion) {
  wchar_t path[MAX_PATH];
  ASSERT_NE(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  ASSERT_NE(size, 0u) << "no version resource";
  std::string info(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, info.data()));
  auto text = [&info](const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || length == 0)
      return std::wstring();
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);
  };
  EXPECT_EQ(text(L"ProductName"), L"QELTO Caller ID");
  const std::string version = QELTO_VERSION_TEXT;
  EXPECT_EQ(text(L"ProductVersion"), std::wstring(version.begin(), version.end()));
  void* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &fixed, &length));
  const auto* numbers = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  EXPECT_EQ(numbers->dwProductVersionMS,
            static_cast<DWORD>(MAKELONG(QELTO_VERSION_MINOR, QELTO_VERSION_MAJOR)));
  EXPECT_EQ(numbers->dwProductVersionLS, static_cast<DWORD>(MAKELONG(0, QELTO_VERSION_PATCH)));
}

TEST(ButtonGlyphs, DrawnInTheAskedSize) {
  for (int size : {kButtonGlyphSize, kButtonGlyphSize * 3 / 2, kButtonGlyphSize * 2}) {
    for (const IconHandle& glyph : {CheckMarkGlyph(size), NoEntryGlyph(size)}) {
      ASSERT_TRUE(glyph) << size;
      EXPECT_EQ(SizeOf(glyph.get()).width, size);
    }
  }
}

TEST(DialogTemplate, HoldsTheDialogAndCountsItsControls) {
  DialogTemplate dialog(WS_POPUP | WS_CAPTION, WS_EX_LAYOUTRTL, L"title");
  EXPECT_EQ(dialog.Get()->cdit, 0);
  dialog.AddControl(DialogTemplate::ControlClass::kButton, 6, BS_PUSHBUTTON, 0, L"yes");
  dialog.AddControl(DialogTemplate::ControlClass::kEdit, 7, ES_READONLY);
  EXPECT_EQ(dialog.Get()->cdit, 2);
  EXPECT_EQ(dialog.Get()->style, static_cast<DWORD>(WS_POPUP | WS_CAPTION));
  EXPECT_EQ(dialog.Get()->dwExtendedStyle, static_cast<DWORD>(WS_EX_LAYOUTRTL));
}

}  // namespace
}  // namespace qelto
