#pragma once

// What the loader tests shared by Linux and Windows (library_loader_cases.cpp) need from a
// platform: its loader, preferring one folder, and the reason it last gave. The test driver
// libraries are in QELTO_TEST_DRIVER_DIR, one folder per variant, each holding a libPOS_CIDR.so
// or a POS_CIDR.dll. dl_library_loader_test.cpp and win_library_loader_test.cpp make the loader
// and hold what only their platform has.

#include <memory>
#include <string>

#include "device/library_loader.h"

namespace qelto::testing_support {

inline std::string VariantFolder(const char* variant) {
  return std::string(QELTO_TEST_DRIVER_DIR) + "/" + variant;
}

// The platform's loader with `folder` searched first.
std::unique_ptr<LibraryLoader> MakeLoader(const std::string& folder);

// Why `loader`, made by MakeLoader, last failed; empty after a success.
std::string LastErrorOf(const LibraryLoader& loader);

}  // namespace qelto::testing_support
