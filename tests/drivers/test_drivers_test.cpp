// Checks that each test driver variant was built as its name promises, since the recorder's
// binding and version tests rely on exactly these differences.

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/driver_abi.h"

namespace {

struct Variant {
  std::string name;
  bool has_play_line;
  bool ansi;
  std::string head;  // the information text up to the device lines, as ASCII
};

void PrintTo(const Variant& variant, std::ostream* out) { *out << variant.name; }

class TestDriverVariant : public testing::TestWithParam<Variant> {};

// The information text as ASCII, read as 8-bit or as UTF-16 text.
std::string ReadInfo(const void* info, bool ansi) {
  if (ansi) return static_cast<const char*>(info);
  std::string text;
  for (auto* unit = static_cast<const char16_t*>(info); *unit != u'\0'; ++unit) {
    text += static_cast<char>(*unit);
  }
  return text;
}

TEST_P(TestDriverVariant, ExportsAndDescribesItselfAsNamed) {
  const Variant& variant = GetParam();
  const std::string path =
      std::string(QELTO_TEST_DRIVER_DIR) + "/" + variant.name + "/libPOS_CIDR.so";
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();

  EXPECT_NE(::dlsym(library, "CIDR_SaveLine"), nullptr);
  EXPECT_EQ(::dlsym(library, "CIDR_PlayLine") != nullptr, variant.has_play_line);
  const auto info = reinterpret_cast<CIDR_InfoFunction>(::dlsym(library, "CIDR_Info"));
  const auto register_event =
      reinterpret_cast<CIDR_RegisterEventFunction>(::dlsym(library, "CIDR_RegisterEvent"));
  ASSERT_NE(info, nullptr);
  ASSERT_NE(register_event, nullptr);
  EXPECT_EQ(ReadInfo(info(), variant.ansi),
            variant.head + "\r\nPorts 1\r\nDevices\r\nLine 1: Connected\r\n");
  // A UTF-16 text must not read as "POS" when taken as 8-bit text; an 8-bit one must.
  EXPECT_EQ(std::strncmp(static_cast<const char*>(info()), "POS", 3) == 0, variant.ansi);
  EXPECT_EQ(register_event(nullptr, 0), 0);
  ::dlclose(library);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, TestDriverVariant,
    testing::Values(Variant{"missing_playline", false, false, "POS CID\r\nVER 2.1"},
                    Variant{"v1_9", true, false, "POS CID\r\nVER 1.9"},
                    Variant{"v2_0", true, false, "POS CID\r\nVER 2.0"},
                    Variant{"v2_1", true, false, "POS CID\r\nVER 2.1"},
                    Variant{"v10_0", true, false, "POS CID\r\nVER 10.0"},
                    Variant{"v2", true, false, "POS CID\r\nVER 2"},
                    Variant{"ansi_v1_5", true, true, "POS CID\r\nVER 1.5"},
                    Variant{"not_pos", true, false, "CID POS\r\nVER 2.1"}),
    [](const testing::TestParamInfo<Variant>& param_info) { return param_info.param.name; });

}  // namespace
