#include "recording/call_journal.h"

#include <gtest/gtest.h>

#include "support/memory_durable_file.h"

namespace qelto {
namespace {

using testing_support::MemoryDurableFile;

QueuedCall Call(const char* line, int second = 0) {
  QueuedCall call;
  call.moment = {2026, 12, 8, 23, 5, second};
  call.line = line;
  return call;
}

std::vector<std::string> Lines(const std::vector<QueuedCall>& calls) {
  std::vector<std::string> lines;
  for (const auto& call : calls) lines.push_back(std::to_string(call.id) + ":" + call.line);
  return lines;
}

TEST(CallJournal, RecordsAndStrikesInOrder) {
  MemoryDurableFile store;
  CallJournal journal(store);
  journal.Recover();
  QueuedCall a = Call("1,111"), b = Call("2,0222", 9);
  ASSERT_TRUE(journal.Record(a));
  ASSERT_TRUE(journal.Record(b));
  ASSERT_TRUE(journal.Strike(a.id));
  EXPECT_EQ(store.content, "C 1 2026-12-08 23:05:00 1,111\nC 2 2026-12-08 23:05:09 2,0222\nW 1\n");
}

TEST(CallJournal, RecoveryReturnsPendingCallsAndCompacts) {
  MemoryDurableFile store;
  store.content =
      "C 4 2026-12-08 23:05:00 1,111\n"
      "C 5 2026-12-08 23:05:01 2,222\n"
      "W 4\n"
      "C 6 2026-12-08 23:05:02 3,333\n";
  CallJournal journal(store);
  const auto recovery = journal.Recover();
  EXPECT_EQ(Lines(recovery.pending), (std::vector<std::string>{"5:2,222", "6:3,333"}));
  EXPECT_EQ(recovery.pending[0].moment.second, 1);
  EXPECT_TRUE(recovery.problems.empty());
  EXPECT_EQ(store.content, "C 5 2026-12-08 23:05:01 2,222\nC 6 2026-12-08 23:05:02 3,333\n");

  QueuedCall next = Call("4,444");
  journal.Record(next);
  EXPECT_EQ(next.id, 7u) << "ids keep rising across runs";
}

TEST(CallJournal, IdsKeepRisingWhenEverythingWasWritten) {
  MemoryDurableFile store;
  store.content = "C 41 2026-12-08 23:05:00 1,1\nW 41\n";
  CallJournal journal(store);
  EXPECT_TRUE(journal.Recover().pending.empty());
  EXPECT_EQ(store.content, "");
  QueuedCall call = Call("1,2");
  journal.Record(call);
  EXPECT_EQ(call.id, 42u);
}

TEST(CallJournal, DamagedRecordsAreSkippedAndReported) {
  MemoryDurableFile store;
  store.content =
      "C 1 2026-12-08 23:05:00 1,111\n"
      "C x 2026-12-08 23:05:00 1,111\n"
      "C 2 2026-13-08 23:05 2,222\n"
      "C 3 2026-12-08 23:05:00 3;DROP\n"
      "Q 4\n"
      "\n"
      "C 5 2026-12-08 23:05:00 5,55";
  CallJournal journal(store);
  const auto recovery = journal.Recover();
  EXPECT_EQ(Lines(recovery.pending), (std::vector<std::string>{"1:1,111"}));
  EXPECT_EQ(recovery.problems.size(), 5u);
}

TEST(CallJournal, UnreadableJournalIsLeftAlone) {
  MemoryDurableFile store;
  store.content = "C 1 2026-12-08 23:05:00 1,111\n";
  store.failReads = true;
  CallJournal journal(store);
  const auto recovery = journal.Recover();
  EXPECT_TRUE(recovery.pending.empty());
  EXPECT_EQ(recovery.problems.size(), 1u);
  EXPECT_EQ(store.replacements, 0);
}

TEST(CallJournal, FailedWritesAreReported) {
  MemoryDurableFile store;
  CallJournal journal(store);
  journal.Recover();
  store.failWrites = true;
  QueuedCall call = Call("1,1");
  EXPECT_FALSE(journal.Record(call));
  EXPECT_FALSE(journal.Strike(call.id));
}

}  // namespace
}  // namespace qelto
