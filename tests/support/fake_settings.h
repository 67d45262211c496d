#pragma once

#include <memory>
#include <string>

#include "recording/database_factory.h"
#include "recording/settings_source.h"
#include "support/fake_database.h"

namespace qelto::testing_support {

// A settings file held in memory; `missing` makes it unreadable.
class FakeSettings : public SettingsSource {
 public:
  std::string Path() const override { return "/opt/qelto/Server_Config.dll"; }
  bool Read(std::string& out, std::string& osError) override {
    if (missing) {
      osError = "No such file or directory";
      return false;
    }
    out = content;
    return true;
  }
  bool ReadableByOthers() const override { return readableByOthers; }

  std::string content = "settings\nsqlite:calls.sqlite\nShop\n0\nrecorder\n";
  bool missing = false;
  bool readableByOthers = false;
};

// Hands out one FakeDatabase, which the test keeps a pointer to.
class FakeDatabaseFactory : public DatabaseFactory {
 public:
  std::unique_ptr<Database> Create(const ServerConfig& config) override {
    lastConfig = config;
    auto database = std::make_unique<FakeDatabase>();
    created = database.get();
    return database;
  }

  FakeDatabase* created = nullptr;
  ServerConfig lastConfig;
};

}  // namespace qelto::testing_support
