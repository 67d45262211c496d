#include "bench/timed_database.h"

#include <utility>

namespace qelto::bench {

TimedDatabase::TimedDatabase(std::unique_ptr<Database> real) : real_(std::move(real)) {}

bool TimedDatabase::Execute(const std::string& statement, std::string& error) {
  const bool done = real_->Execute(statement, error);
  if (done && statement.starts_with("INSERT")) {
    insertsReturned_.push_back(std::chrono::steady_clock::now());
  }
  return done;
}

}  // namespace qelto::bench
