#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "recording/database.h"

namespace qelto::bench {

// Passes everything to the real database and notes the moment each successful INSERT returned,
// in the order of the INSERTs. Used from one thread, like any Database.
class TimedDatabase : public Database {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  explicit TimedDatabase(std::unique_ptr<Database> real);

  bool Open(std::string& error) override { return real_->Open(error); }
  bool Connected() const override { return real_->Connected(); }
  void Close() override { real_->Close(); }
  bool Execute(const std::string& statement, std::string& error) override;
  SqlDialect Dialect() const override { return real_->Dialect(); }

  const std::vector<TimePoint>& InsertsReturned() const { return insertsReturned_; }

 private:
  std::unique_ptr<Database> real_;
  std::vector<TimePoint> insertsReturned_;
};

}  // namespace qelto::bench
