#include "recording/call_writer_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/fake_clock.h"
#include "support/fake_database.h"
#include "support/memory_durable_file.h"
#include "support/memory_log_files.h"
#include "ui/activity_log.h"

namespace qelto {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeClock;
using testing_support::FakeDatabase;
using testing_support::MemoryDurableFile;
using testing_support::MemoryLogFiles;

// A database whose statements, or whose connection attempts, hang until released. A hanging
// statement ends at Cancel(), as the real ones do; a hanging connection attempt does not.
class HangingDatabase : public FakeDatabase {
 public:
  bool Open(std::string& error) override {
    Hang(hangInOpen);
    return FakeDatabase::Open(error);
  }
  bool Execute(const std::string& statement, DbError& error) override {
    if (Hang(hangInStatements)) {
      error = {DbFailure::kBusy, "interrupted"};
      return false;
    }
    return FakeDatabase::Execute(statement, error);
  }
  void Cancel() override {
    FakeDatabase::Cancel();
    std::lock_guard guard(lock_);
    cancelled_ = true;
    changed_.notify_all();
  }
  void Release() {
    std::lock_guard guard(lock_);
    released_ = true;
    changed_.notify_all();
  }
  bool Hanging() {
    std::lock_guard guard(lock_);
    return hanging_;
  }

  bool hangInOpen = false;
  bool hangInStatements = false;

 private:
  // True when the wait ended by a cancel.
  bool Hang(bool hang) {
    if (!hang) return false;
    std::unique_lock guard(lock_);
    hanging_ = true;
    const bool cancellable = hangInStatements;
    changed_.wait(guard, [&] { return released_ || (cancellable && cancelled_); });
    hanging_ = false;
    return !released_;
  }

  std::mutex lock_;
  std::condition_variable changed_;
  bool hanging_ = false;
  bool cancelled_ = false;
  bool released_ = false;
};

class CallWriterThreadTest : public testing::Test {
 protected:
  CallWriterThreadTest() {
    log.Open();
    journal.Recover();
    clock.Advance(kReconnectWaitMs + 1);
  }
  void Arrive(const char* line) {
    QueuedCall call;
    call.moment = {2026, 12, 9, 10, 0, 0};
    call.line = line;
    std::string problem;
    journal.Record(call, problem);
    queue.Append(std::move(call));
  }
  template <typename Condition>
  static bool Eventually(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  FakeClock clock;
  HangingDatabase database;
  LockedCallQueue queue;
  MemoryDurableFile journalFile, damagedFile, rejected;
  CallJournal journal{journalFile, damagedFile};
  MemoryLogFiles logFiles;
  ActivityLog log{logFiles, clock};
  CallWriter writer{database, queue, journal, rejected, log, clock, {"", ""}};
};

TEST_F(CallWriterThreadTest, AWakeConnectsAndWritesOnTheWritersThread) {
  CallWriterThread thread(writer, database);
  Arrive("1,111");
  thread.ReconnectAndWrite();  // returns at once; the work happens on the thread
  ASSERT_TRUE(Eventually([&] { return queue.Size() == 0; }));
  EXPECT_TRUE(thread.DbConnected());
  EXPECT_EQ(thread.ConnectAttempts(), 1);
  Arrive("2,222");
  thread.Wake();
  // The queue empties when the thread takes the call, before the row is in: the journal tells.
  EXPECT_TRUE(Eventually([&] { return queue.Size() == 0 && journal.PendingCount() == 0; }));
  EXPECT_TRUE(thread.Stop(1s));
}

TEST_F(CallWriterThreadTest, StopCancelsAHangingStatement) {
  CallWriterThread thread(writer, database);
  thread.Wake();
  ASSERT_TRUE(Eventually([&] { return thread.DbConnected(); }));
  database.hangInStatements = true;
  Arrive("1,111");
  thread.Wake();
  ASSERT_TRUE(Eventually([&] { return database.Hanging(); }));
  EXPECT_TRUE(thread.Stop(5s));
  EXPECT_GE(database.cancels.load(), 1);
  EXPECT_EQ(queue.Size(), 1u) << "the call stays queued, and journalled";
  EXPECT_EQ(journal.PendingCount(), 1u);
}

TEST_F(CallWriterThreadTest, StopDoesNotWaitForAConnectionAttemptThatCannotBeCancelled) {
  database.hangInOpen = true;
  CallWriterThread thread(writer, database);
  thread.Wake();
  ASSERT_TRUE(Eventually([&] { return database.Hanging(); }));
  EXPECT_FALSE(thread.Stop(50ms));
  EXPECT_FALSE(thread.DbConnected()) << "state stays readable while the writer hangs";
  database.Release();  // the destructor waits for the thread, so let it end
}

}  // namespace
}  // namespace qelto
