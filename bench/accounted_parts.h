#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "recording/database.h"
#include "recording/durable_file.h"

namespace qelto::bench {

// Time spent inside one part of the writer's work, summed over its calls.
struct Account {
  std::chrono::duration<double> spent{};
  long calls = 0;
};

// Runs `work` and adds its time to `account`.
template <typename Work>
auto Accounted(Account& account, Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  auto result = work();
  account.spent += std::chrono::steady_clock::now() - start;
  ++account.calls;
  return result;
}

// A database whose every call is accounted, so a drain's time can be split into the database's
// share and the writer's own. One thread only.
class AccountedDatabase : public Database {
 public:
  AccountedDatabase(std::unique_ptr<Database> real, Account& account)
      : real_(std::move(real)), account_(account) {}

  bool Open(std::string& error) override { return real_->Open(error); }
  bool Connected() const override { return real_->Connected(); }
  void Close() override { real_->Close(); }
  using Database::Execute;
  bool Execute(const std::string& statement, DbError& error) override {
    return Accounted(account_, [&] { return real_->Execute(statement, error); });
  }
  std::optional<std::int64_t> QueryNumber(const std::string& query, DbError& error) override {
    return Accounted(account_, [&] { return real_->QueryNumber(query, error); });
  }
  void Cancel() override { real_->Cancel(); }
  SqlDialect Dialect() const override { return real_->Dialect(); }
  bool AtNamedPlace(std::string& change) override {
    return Accounted(account_, [&] { return real_->AtNamedPlace(change); });
  }

 private:
  std::unique_ptr<Database> real_;
  Account& account_;
};

// The same for the call journal's file.
class AccountedFile : public DurableFile {
 public:
  AccountedFile(DurableFile& real, Account& account) : real_(real), account_(account) {}

  bool Append(std::string_view record) override {
    return Accounted(account_, [&] { return real_.Append(record); });
  }
  bool AppendUnsynced(std::string_view record) override {
    return Accounted(account_, [&] { return real_.AppendUnsynced(record); });
  }
  bool Sync() override {
    return Accounted(account_, [&] { return real_.Sync(); });
  }
  std::optional<std::string> ReadAll() override { return real_.ReadAll(); }
  bool Replace(std::string_view content) override { return real_.Replace(content); }
  bool Intact() override {
    return Accounted(account_, [&] { return real_.Intact(); });
  }

 private:
  DurableFile& real_;
  Account& account_;
};

}  // namespace qelto::bench
