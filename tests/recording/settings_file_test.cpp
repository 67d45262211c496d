#include "recording/posix/settings_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "recording/server_config.h"
#include "support/temp_dir.h"

namespace qelto {
namespace {

using testing_support::ScopedWorkingFolder;
using testing_support::TempDir;

TEST(SettingsPlaces, BesideTheExecutableThenTheUsersThenTheSystemsFolder) {
  struct Case {
    const char* xdgConfigHome;
    const char* home;
    std::vector<SettingsPlace> expected;
  };
  const std::string exe = "/opt/app/Server_Config.dll";
  const std::string sys = "/etc/qelto-callerid/Server_Config.dll";
  const Case cases[] = {
      {"/x/conf", "/home/u", {{exe, true}, {"/x/conf/qelto-callerid/Server_Config.dll"}, {sys}}},
      {nullptr,
       "/home/u",
       {{exe, true}, {"/home/u/.config/qelto-callerid/Server_Config.dll"}, {sys}}},
      // The XDG base directory rules ignore empty and relative values.
      {"", "/home/u", {{exe, true}, {"/home/u/.config/qelto-callerid/Server_Config.dll"}, {sys}}},
      {"conf",
       "/home/u",
       {{exe, true}, {"/home/u/.config/qelto-callerid/Server_Config.dll"}, {sys}}},
      {nullptr, nullptr, {{exe, true}, {sys}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SettingsPlaces("/opt/app", c.xdgConfigHome, c.home, "/etc/qelto-callerid"),
              c.expected)
        << (c.xdgConfigHome != nullptr ? c.xdgConfigHome : "(unset)");
  }
  EXPECT_EQ(SettingsPlaces("", nullptr, nullptr, "").size(), 0u);
}

// Three places, as an installed recorder has them, each in a folder of its own.
class SettingsLookup : public ::testing::Test {
 protected:
  SettingsLookup() {
    for (const char* folder : {"bin", "config/qelto-callerid", "etc"}) {
      std::filesystem::create_directories(root_.path() / folder);
    }
  }

  std::vector<SettingsPlace> Places() const {
    return SettingsPlaces(root_.File("bin"), root_.File("config").c_str(), "/home/nobody",
                          root_.File("etc"));
  }
  std::string PathOf(const char* place) const {
    return (root_.path() / place / "Server_Config.dll").string();
  }
  void Put(const char* place, const std::string& firstLine) const {
    std::ofstream(PathOf(place)) << firstLine << "\nsqlite:calls.sqlite\nShop\n0\nrecorder\n";
  }

  TempDir root_;
  std::ostringstream notes_;
};

TEST_F(SettingsLookup, TheFirstPlaceHoldingAFileIsRead) {
  const struct {
    std::vector<const char*> filled;
    const char* read;
  } cases[] = {
      {{"bin", "config/qelto-callerid", "etc"}, "bin"},
      {{"config/qelto-callerid", "etc"}, "config/qelto-callerid"},
      {{"etc"}, "etc"},
      {{"bin", "etc"}, "bin"},
  };
  for (const auto& c : cases) {
    for (const char* place : {"bin", "config/qelto-callerid", "etc"}) {
      std::filesystem::remove(PathOf(place));
    }
    for (const char* place : c.filled) Put(place, place);
    std::ostringstream notes;
    SettingsFile settings(Places(), notes);
    std::string content, osError;
    ASSERT_TRUE(settings.Read(content, osError)) << c.read << ": " << osError;
    EXPECT_EQ(content.substr(0, content.find('\n')), c.read);
    EXPECT_EQ(settings.Path(), PathOf(c.read));
    EXPECT_EQ(notes.str(), "qelto-callerid: settings read from " + PathOf(c.read) + "\n");
  }
}

// The file holds the server's password: the recorder tells whether every user can read it.
TEST_F(SettingsLookup, TellsWhetherEveryUserCanReadTheFile) {
  Put("etc", "system");
  for (const auto mode : {0644, 0640, 0600, 0604}) {
    std::filesystem::permissions(PathOf("etc"), static_cast<std::filesystem::perms>(mode));
    SettingsFile settings(Places(), notes_);
    std::string content, osError;
    ASSERT_TRUE(settings.Read(content, osError));
    EXPECT_EQ(settings.ReadableByOthers(), (mode & 04) != 0) << std::oct << mode;
  }
}

TEST_F(SettingsLookup, NoFileAnywhereNamesEveryPlaceTried) {
  SettingsFile settings(Places(), notes_);
  std::string content, osError;
  ASSERT_FALSE(settings.Read(content, osError));
  EXPECT_EQ(osError, "No such file or directory");
  EXPECT_EQ(settings.Path(), PathOf("bin")) << "the log names the first place, as ever";
  EXPECT_EQ(notes_.str(), "qelto-callerid: no settings file Server_Config.dll; looked for:\n  " +
                              PathOf("bin") + "\n  " + PathOf("config/qelto-callerid") + "\n  " +
                              PathOf("etc") + "\n");
}

// Nothing but a regular file is read: a folder fails, and a FIFO fails at once rather than hold
// the start for ever; neither hides the file in a later place.
TEST_F(SettingsLookup, WhatIsNoRegularFileIsRefusedAndHidesNoFileBehindIt) {
  const struct {
    const char* kind;
    void (*make)(const std::string& path);
    const char* reason;
  } cases[] = {
      {"folder", [](const std::string& path) { std::filesystem::create_directory(path); },
       "Is a directory"},
      {"FIFO", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
       "Not a regular file"},
  };
  Put("etc", "system");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    std::filesystem::remove_all(PathOf("config/qelto-callerid"));
    c.make(PathOf("config/qelto-callerid"));
    notes_.str("");
    SettingsFile settings(Places(), notes_);
    std::string content, osError;
    ASSERT_FALSE(settings.Read(content, osError));
    EXPECT_EQ(CannotOpenFileMessage(settings.Path(), osError),
              "Cannot open file \"" + PathOf("config/qelto-callerid") + "\". " + c.reason);
    EXPECT_NE(notes_.str().find(std::string("cannot be read: ") + c.reason), std::string::npos)
        << notes_.str();
  }
}

TEST_F(SettingsLookup, RelativeSqlitePathsBesideTheExecutableElseInTheWorkingFolder) {
  TempDir work;
  const ScopedWorkingFolder inWork(work.path());
  const struct {
    const char* place;
    std::filesystem::path expectedFile;
  } cases[] = {
      {"bin", root_.path() / "bin" / "calls.sqlite"},
      {"config/qelto-callerid", work.path() / "calls.sqlite"},
      {"etc", work.path() / "calls.sqlite"},
  };
  for (const auto& c : cases) {
    for (const char* place : {"bin", "config/qelto-callerid", "etc"}) {
      std::filesystem::remove(PathOf(place));
    }
    std::filesystem::remove(work.path() / "calls.sqlite");
    Put(c.place, c.place);
    SettingsFile settings(Places(), notes_);
    std::string content, error;
    ASSERT_TRUE(settings.Read(content, error)) << error;
    PlatformDatabaseFactory databases(settings);
    const auto database = databases.Create(ParseServerConfig(content, settings.Path()));
    ASSERT_TRUE(database->Open(error)) << c.place << ": " << error;
    EXPECT_TRUE(std::filesystem::exists(c.expectedFile)) << c.place;
    EXPECT_FALSE(std::filesystem::exists(root_.path() / "etc" / "calls.sqlite")) << c.place;
  }
}

}  // namespace
}  // namespace qelto
