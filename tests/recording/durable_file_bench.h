#pragma once

// What the durable file tests shared by Linux and Windows (durable_file_cases.cpp) need from a
// platform: its durable file. posix_durable_file_test.cpp and win_durable_file_test.cpp make it and
// hold what only their platform has.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "recording/durable_file.h"

namespace qelto::testing_support {

// The platform's durable file at `path`.
std::unique_ptr<DurableFile> MakeDurableFile(const std::string& path);

// What stands at `path` is no plain file: it is neither read nor written through.
inline void ExpectRefused(const std::string& path) {
  const auto store = MakeDurableFile(path);
  EXPECT_EQ(store->ReadAll(), std::nullopt);
  EXPECT_FALSE(store->Append("C 1 2026-12-08 23:05:01 1,5550001\n"));
  EXPECT_FALSE(store->AppendUnsynced("W 1\n"));
}

}  // namespace qelto::testing_support
