#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "recording/database.h"

namespace qelto::bench {

// Passes everything to the real database and notes the moment each successful INSERT returned,
// in the order of the INSERTs. Used from the writer's thread, like any Database; the moments may
// be read from another thread.
class TimedDatabase : public Database {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  explicit TimedDatabase(std::unique_ptr<Database> real);

  bool Open(std::string& error) override { return real_->Open(error); }
  bool Connected() const override { return real_->Connected(); }
  void Close() override { real_->Close(); }
  using Database::Execute;
  bool Execute(const std::string& statement, DbError& error) override;
  std::optional<std::int64_t> QueryNumber(const std::string& query, DbError& error) override {
    return real_->QueryNumber(query, error);
  }
  void Cancel() override { real_->Cancel(); }
  SqlDialect Dialect() const override { return real_->Dialect(); }
  bool AtNamedPlace(std::string& change) override { return real_->AtNamedPlace(change); }

  std::size_t InsertsReturnedCount() const;
  std::vector<TimePoint> InsertsReturned() const;

 private:
  std::unique_ptr<Database> real_;
  mutable std::mutex lock_;  // guards insertsReturned_
  std::vector<TimePoint> insertsReturned_;
};

}  // namespace qelto::bench
