#pragma once

#include <string>

namespace qelto {

// Without a display there is nobody to answer a window: the recorder then runs on Qt's offscreen
// platform. Call before the application object is made.
void UseOffscreenPlatformWithoutDisplay();

// True when running on the offscreen platform (no display).
bool IsOffscreen();

// The start-up error box with the given text: written to standard error (with `detail`, when
// given, so an installer sees why), then shown and waited for. On the offscreen platform it counts
// as acknowledged at once.
void ShowStartupBox(const char* text, const std::string& detail);

}  // namespace qelto
