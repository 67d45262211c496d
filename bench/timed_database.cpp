#include "bench/timed_database.h"

#include <utility>

namespace qelto::bench {

TimedDatabase::TimedDatabase(std::unique_ptr<Database> real) : real_(std::move(real)) {}

bool TimedDatabase::Execute(const std::string& statement, DbError& error) {
  const bool done = real_->Execute(statement, error);
  if (done && statement.starts_with("INSERT")) {
    const TimePoint returned = std::chrono::steady_clock::now();
    std::lock_guard guard(lock_);
    insertsReturned_.push_back(returned);
  }
  return done;
}

std::size_t TimedDatabase::InsertsReturnedCount() const {
  std::lock_guard guard(lock_);
  return insertsReturned_.size();
}

std::vector<TimedDatabase::TimePoint> TimedDatabase::InsertsReturned() const {
  std::lock_guard guard(lock_);
  return insertsReturned_;
}

}  // namespace qelto::bench
