#include "app/posix/working_folder.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace qelto {
namespace {

using testing_support::ScopedWorkingFolder;
using testing_support::TempDir;

TEST(StateFolderOption, OnlyTheExactOptionCounts) {
  const char* desktop[] = {"qelto-callerid", "--in-state-folder"};
  const char* terminal[] = {"qelto-callerid"};
  const char* other[] = {"qelto-callerid", "--in-state-folder=1", "-platform", "offscreen"};
  EXPECT_TRUE(HasStateFolderOption(2, desktop));
  EXPECT_FALSE(HasStateFolderOption(1, terminal));
  EXPECT_FALSE(HasStateFolderOption(4, other));
}

TEST(StateFolder, XdgStateHomeElseTheDefaultUnderHome) {
  const struct {
    const char* xdgStateHome;
    const char* home;
    std::string expected;
  } cases[] = {
      {"/s", "/home/u", "/s/qelto-callerid"},
      {nullptr, "/home/u", "/home/u/.local/state/qelto-callerid"},
      {"", "/home/u", "/home/u/.local/state/qelto-callerid"},
      {"relative", "/home/u", "/home/u/.local/state/qelto-callerid"},
      {nullptr, nullptr, ""},
      {nullptr, "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StateFolder(c.xdgStateHome, c.home), c.expected)
        << (c.xdgStateHome != nullptr ? c.xdgStateHome : "(unset)");
  }
}

mode_t ModeOf(const std::filesystem::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(EnterStateFolder, MakesThePrivateFolderAndWorksInIt) {
  TempDir home;
  const ScopedWorkingFolder restore(home.path());
  const std::string folder = StateFolder(nullptr, home.path().c_str());
  std::string error;
  ASSERT_TRUE(EnterStateFolder(folder, error)) << error;
  EXPECT_EQ(std::filesystem::current_path(), folder);
  EXPECT_EQ(ModeOf(folder), 0700u);
  EXPECT_EQ(ModeOf(home.path() / ".local"), 0700u) << "parents made on the way are private too";
  // Again, as at every logon: the folder and what it holds stay.
  std::ofstream(std::filesystem::path(folder) / "calls-journal.txt") << "kept";
  ASSERT_TRUE(EnterStateFolder(folder, error)) << error;
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / "calls-journal.txt"));
}

TEST(EnterStateFolder, FailureLeavesTheWorkingFolderAndSaysWhy) {
  TempDir home;
  const ScopedWorkingFolder restore(home.path());
  std::ofstream(home.File(".local")) << "a file where a folder should be";
  std::string error;
  EXPECT_FALSE(EnterStateFolder(StateFolder(nullptr, home.path().c_str()), error));
  EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
  EXPECT_EQ(std::filesystem::current_path(), home.path());
  EXPECT_FALSE(EnterStateFolder(StateFolder(nullptr, nullptr), error));
  EXPECT_EQ(std::filesystem::current_path(), home.path());
}

}  // namespace
}  // namespace qelto
