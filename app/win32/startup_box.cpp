#include "app/win32/startup_box.h"

#include <windows.h>

#include <cstdio>

#include "common/texts.h"
#include "common/win32/wide_text.h"

namespace qelto {

void ShowStartupBox(const char* text, const std::string& detail) {
  std::fprintf(stderr, "qelto-callerid: %s: %s\n", kStartupBoxCaption, text);
  if (!detail.empty()) std::fprintf(stderr, "qelto-callerid: %s\n", detail.c_str());
  std::fflush(stderr);
  MessageBoxW(nullptr, WideFromUtf8(text).c_str(), WideFromUtf8(kStartupBoxCaption).c_str(),
              MB_OK | MB_ICONERROR | MB_RTLREADING | MB_RIGHT);
}

}  // namespace qelto
