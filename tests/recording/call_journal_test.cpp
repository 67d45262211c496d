#include "recording/call_journal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

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

class CallJournalTest : public testing::Test {
 protected:
  bool Record(QueuedCall& call) {
    std::string problem;
    return journal.Record(call, problem);
  }

  MemoryDurableFile store;
  MemoryDurableFile damaged;
  CallJournal journal{store, damaged};
};

TEST_F(CallJournalTest, RecordsAndStrikesInOrder) {
  journal.Recover();
  QueuedCall a = Call("1,111"), b = Call("2,0222", 9);
  ASSERT_TRUE(Record(a));
  ASSERT_TRUE(Record(b));
  ASSERT_TRUE(journal.Strike(a.id));
  EXPECT_TRUE(journal.Strike(a.id)) << "struck already: nothing to write";
  EXPECT_EQ(store.content, "C 1 2026-12-08 23:05:00 1,111\nC 2 2026-12-08 23:05:09 2,0222\nW 1\n");
  EXPECT_EQ(journal.PendingCount(), 1u);
}

TEST_F(CallJournalTest, RecoveryReturnsPendingCallsAndCompacts) {
  store.content =
      "C 4 2026-12-08 23:05:00 1,111\n"
      "C 5 2026-12-08 23:05:01 2,222\n"
      "W 4\n"
      "W 4\n"  // a mark written again after a failed flush: harmless
      "C 6 2026-12-08 23:05:02 3,333\n";
  const auto recovery = journal.Recover();
  EXPECT_EQ(Lines(recovery.pending), (std::vector<std::string>{"5:2,222", "6:3,333"}));
  EXPECT_EQ(recovery.pending[0].moment.second, 1);
  EXPECT_TRUE(recovery.pending[0].mayBeWritten) << "a recovered call is looked up first";
  EXPECT_TRUE(recovery.problems.empty());
  EXPECT_EQ(store.content, "C 5 2026-12-08 23:05:01 2,222\nC 6 2026-12-08 23:05:02 3,333\n");

  QueuedCall next = Call("4,444");
  Record(next);
  EXPECT_EQ(next.id, 7u) << "ids keep rising across runs";
}

TEST_F(CallJournalTest, IdsKeepRisingWhenEverythingWasWritten) {
  store.content = "C 41 2026-12-08 23:05:00 1,1\nW 41\n";
  EXPECT_TRUE(journal.Recover().pending.empty());
  EXPECT_EQ(store.content, "");
  QueuedCall call = Call("1,2");
  Record(call);
  EXPECT_EQ(call.id, 42u);
}

TEST_F(CallJournalTest, WindowsLineEndsAreReadAsLineEnds) {
  store.content = "C 1 2026-12-08 23:05:00 1,111\r\nC 2 2026-12-08 23:05:01 2,222\r\nW 1\r\n";
  const auto recovery = journal.Recover();
  EXPECT_EQ(Lines(recovery.pending), (std::vector<std::string>{"2:2,222"}));
  EXPECT_TRUE(recovery.problems.empty());
  EXPECT_EQ(damaged.content, "");
}

TEST_F(CallJournalTest, UnreadableRecordsMoveUnchangedToTheSideFile) {
  const std::string bad =
      "C x 2026-12-08 23:05:00 1,111\n"
      "C 2 2026-13-45 25:61:61 2,222\n"  // no real moment: never reaches the table
      "C 3 2026-02-29 23:05:00 3,333\n"  // 2026 is no leap year
      "C 4 2026-12-08 23:05:00 3;DROP\n"
      "C 7 2026/12/08 23:05:00 1,111\n"
      "C 8 2026-12-08 23.05.00 1,111\n"
      "Q 5\n"
      "C 135 2026-12-09 03:14:4C 151 2026-12-09 03:14:50 1,1\r\n";  // torn, then glued
  store.content = "C 1 2026-12-08 23:05:00 1,111\n" + bad + "\nC 6 2026-12-08 23:05:00 5,55\n";
  const auto recovery = journal.Recover();
  EXPECT_EQ(Lines(recovery.pending), (std::vector<std::string>{"1:1,111", "6:5,55"}));
  EXPECT_EQ(damaged.content, bad);
  ASSERT_EQ(recovery.problems.size(), 1u) << "one bounded line, whatever the damage";
  EXPECT_EQ(recovery.problems[0],
            "Call journal: 8 unreadable records moved to calls-journal.damaged.txt");
  EXPECT_EQ(store.content, "C 1 2026-12-08 23:05:00 1,111\nC 6 2026-12-08 23:05:00 5,55\n");
}

// A power cut can end the file inside its last record, which may still read as one: "2,0912" of
// "2,09121234567", "W 1" of "W 17". Without its line end it is no record: it is set aside.
TEST(CallJournalCut, ALastRecordWithoutItsLineEndIsSetAside) {
  constexpr const char* kWhole = "C 1 2026-12-08 23:05:00 1,111\n";
  const struct {
    const char* tail;
    bool setAside;
  } cases[] = {
      {"C", true},
      {"C ", true},
      {"C 2", true},
      {"C 2 2026-12", true},
      {"C 2 2026-12-10", true},
      {"C 2 2026-12-10 10:00:0", true},
      {"C 2 2026-12-10 10:00:05", true},
      {"C 2 2026-12-10 10:00:05 2", true},
      {"C 2 2026-12-10 10:00:05 2,", true},
      {"C 2 2026-12-10 10:00:05 2,0912", true},
      {"C 2 2026-12-10 10:00:05 2,0912\r", true},  // cut between the CR and the LF
      {"W", true},
      {"W 1", true},  // would strike call 1
      {"W 1\r", true},
      {"B 1", true},
      {"B 1 4", true},  // of "B 1 45": too low a number is harmless, kept or not
      {"", false},
      {"\r", false},
      {"\r\r", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.tail)));
    MemoryDurableFile store, damaged;
    store.content = std::string(kWhole) + c.tail;
    CallJournal journal(store, damaged);
    const auto recovery = journal.Recover();
    EXPECT_EQ(Lines(recovery.pending), (std::vector<std::string>{"1:1,111"}));
    EXPECT_FALSE(!recovery.pending.empty() && recovery.pending[0].sentAbove.has_value());
    EXPECT_EQ(store.content, kWhole) << "made anew without it";
    if (c.setAside) {
      EXPECT_EQ(damaged.content, std::string(c.tail) + "\n");
      EXPECT_THAT(recovery.problems, testing::ElementsAre("Call journal: 1 unreadable records "
                                                          "moved to calls-journal.damaged.txt"));
    } else {
      EXPECT_EQ(damaged.content, "");
      EXPECT_THAT(recovery.problems, testing::ElementsAre());
    }
  }
}

// Where the cut record cannot be moved away, the journal is only appended to: the next record
// must neither make the cut one whole nor be glued to it, at this start or the next.
TEST(CallJournalCut, ARecordAfterACutOneThatStaysStartsOnALineOfItsOwn) {
  for (const char* tail : {"C 2 2026-12-10 10:00:05 2,0912", "C 2 2026-12-10 10:00:05 2,0912\r",
                           "W 1", "\r", "garbage\n\r"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(tail)));
    MemoryDurableFile store, damaged;
    store.content = std::string("C 1 2026-12-08 23:05:00 1,111\n") + tail;
    damaged.failWrites = true;
    CallJournal journal(store, damaged);
    EXPECT_EQ(Lines(journal.Recover().pending), (std::vector<std::string>{"1:1,111"}));
    QueuedCall next = Call("3,3");
    std::string problem;
    ASSERT_TRUE(journal.Record(next, problem));
    EXPECT_NE(store.content.find("\nC 2 2026-12-08 23:05:00 3,3\n"), std::string::npos);

    MemoryDurableFile side;
    CallJournal later(store, side);
    EXPECT_EQ(Lines(later.Recover().pending), (std::vector<std::string>{"1:1,111", "2:3,3"}))
        << "the cut record is still no call";
  }
}

// Before a call's INSERT is sent the journal notes the highest IdNumber seen before it; a start
// finds the note of the last INSERT of each pending call, and keeps it when it compacts.
TEST_F(CallJournalTest, TheNoteOfTheLastInsertSentComesBackWithItsCall) {
  store.content =
      "C 1 2026-12-08 23:05:00 1,111\n"
      "C 2 2026-12-08 23:05:01 2,222\n"
      "B 1 40\n"
      "B 2 40\n"
      "C 3 2026-12-08 23:05:02 3,333\n"
      "B 2 41\n"
      "B 9 7\n"  // of no pending call: harmless
      "W 1\n"
      "B 1 50\n";
  const auto recovery = journal.Recover();
  ASSERT_EQ(Lines(recovery.pending), (std::vector<std::string>{"2:2,222", "3:3,333"}));
  EXPECT_EQ(recovery.pending[0].sentAbove, 41) << "the later INSERT's";
  EXPECT_FALSE(recovery.pending[1].sentAbove.has_value()) << "never sent";
  EXPECT_TRUE(recovery.problems.empty());
  EXPECT_EQ(store.content,
            "C 2 2026-12-08 23:05:01 2,222\nB 2 41\nC 3 2026-12-08 23:05:02 3,333\n");

  ASSERT_TRUE(journal.NoteSending(3, -5));
  EXPECT_EQ(store.unsynced, 1) << "reaches the disk with the next flush, like a mark";
  ASSERT_TRUE(journal.NoteSending(2, 60));
  EXPECT_EQ(store.unsynced, 1) << "a second INSERT's note is flushed at once";
  EXPECT_TRUE(journal.NoteSending(1, 70)) << "a struck call's is not written";
  store.Delete();
  ASSERT_TRUE(journal.Flush());
  EXPECT_EQ(store.content,
            "C 2 2026-12-08 23:05:01 2,222\nB 2 60\nC 3 2026-12-08 23:05:02 3,333\nB 3 -5\n")
      << "made anew with the latest notes";
}

TEST_F(CallJournalTest, WithoutTheSideFileTheJournalIsLeftAsItIs) {
  store.content = "garbage\nC 1 2026-12-08 23:05:00 1,111\nC 2 2026-12-08 23:05";
  damaged.failWrites = true;
  const std::string before = store.content;
  const auto recovery = journal.Recover();
  EXPECT_EQ(Lines(recovery.pending), (std::vector<std::string>{"1:1,111"}));
  EXPECT_EQ(store.content.substr(0, before.size()), before) << "nothing of it is destroyed";
  QueuedCall next = Call("3,3");
  store.failWrites = true;
  EXPECT_FALSE(Record(next));
  EXPECT_EQ(store.replacements, 0) << "never made anew while it holds what could not be moved";
  store.failWrites = false;
  QueuedCall later = Call("4,4");
  ASSERT_TRUE(Record(later));
  EXPECT_NE(store.content.find("\nC 3 2026-12-08 23:05:00 4,4\n"), std::string::npos)
      << "the record starts on a line of its own";
  store.failWrites = true;
  EXPECT_FALSE(journal.Strike(later.id)) << "a mark that fails is reported";
  EXPECT_FALSE(journal.Flush());
  EXPECT_EQ(store.replacements, 0) << "nor made anew to take the mark";
  store.failWrites = false;
  ASSERT_TRUE(journal.Flush());
  MemoryDurableFile side;
  EXPECT_EQ(Lines(CallJournal(store, side).Recover().pending),
            (std::vector<std::string>{"1:1,111", "3:4,4"}))
      << "the call whose mark failed is still pending: looked up at the next start";
}

TEST_F(CallJournalTest, RepeatedIdsAreAllKeptAndRenumbered) {
  store.content =
      "C 7 2026-12-08 23:05:00 1,111\n"
      "C 7 2026-12-08 23:05:01 2,222\n"
      "W 7\n"
      "C 7 2026-12-08 23:05:02 3,333\n";
  const auto recovery = journal.Recover();
  EXPECT_EQ(Lines(recovery.pending), (std::vector<std::string>{"7:2,222", "8:3,333"}))
      << "a mark strikes the earliest pending call with its id";
  QueuedCall next = Call("4,4");
  Record(next);
  EXPECT_EQ(next.id, 9u);
}

TEST_F(CallJournalTest, IdsNearTheEndOfTheRangeStartAgainFromOne) {
  const auto top = std::to_string(std::numeric_limits<std::uint64_t>::max());
  store.content = "C " + top + " 2026-12-08 23:05:00 1,111\nC 5 2026-12-08 23:05:01 2,222\n";
  const auto recovery = journal.Recover();
  EXPECT_EQ(Lines(recovery.pending), (std::vector<std::string>{"1:1,111", "2:2,222"}));
  QueuedCall next = Call("3,3");
  Record(next);
  EXPECT_EQ(next.id, 3u);
  EXPECT_EQ(store.content.find(top), std::string::npos);
}

// A compaction that fails leaves the file as it was, every pending call in it; nothing is
// appended to it until it could be made anew.
TEST_F(CallJournalTest, AJournalThatCannotBeCompactedKeepsItsCalls) {
  const std::string before = "C 1 2026-12-08 23:05:00 1,111\nC 2 2026-12-08 23:05:01 2,222\nW 1\n";
  store.content = before;
  store.failReplace = true;
  const auto recovery = journal.Recover();
  EXPECT_EQ(Lines(recovery.pending), (std::vector<std::string>{"2:2,222"}));
  EXPECT_THAT(recovery.problems,
              testing::ElementsAre("Call journal: cannot compact calls-journal.txt"));
  EXPECT_EQ(store.content, before);
  QueuedCall c = Call("3,3", 2);
  EXPECT_FALSE(Record(c));
  EXPECT_EQ(store.content, before);
  store.failReplace = false;
  QueuedCall d = Call("4,4", 3);
  ASSERT_TRUE(Record(d));
  EXPECT_EQ(
      store.content,
      "C 2 2026-12-08 23:05:01 2,222\nC 3 2026-12-08 23:05:02 3,3\nC 4 2026-12-08 23:05:03 4,4\n");
}

TEST_F(CallJournalTest, UnreadableJournalIsLeftAlone) {
  store.content = "C 1 2026-12-08 23:05:00 1,111\n";
  store.failReads = true;
  const auto recovery = journal.Recover();
  EXPECT_TRUE(recovery.pending.empty());
  EXPECT_EQ(recovery.problems.size(), 1u);
  QueuedCall call = Call("2,2");
  store.failWrites = true;
  Record(call);
  EXPECT_EQ(store.replacements, 0);
}

// A full disk: the writes fail and may leave half a record behind. Once the disk takes writes
// again, the file is made anew with exactly the pending calls, so nothing sticks to a torn record
// and failed marks take effect.
TEST_F(CallJournalTest, AfterFailedWritesTheFileIsMadeAnewWithWhatIsPending) {
  journal.Recover();
  QueuedCall a = Call("1,1"), b = Call("2,2", 1), c = Call("3,3", 2), d = Call("4,4", 3);
  ASSERT_TRUE(Record(a));
  ASSERT_TRUE(Record(b));
  store.failWrites = true;
  store.tearFailedWrites = true;
  std::string problem;
  EXPECT_FALSE(journal.Record(c, problem));
  EXPECT_EQ(problem, "cannot write calls-journal.txt; 3 calls are held in memory only");
  EXPECT_FALSE(journal.Strike(a.id)) << "a mark that fails is reported";
  EXPECT_FALSE(journal.Flush());
  store.failWrites = false;
  ASSERT_TRUE(Record(d));
  EXPECT_EQ(
      store.content,
      "C 2 2026-12-08 23:05:01 2,2\nC 3 2026-12-08 23:05:02 3,3\nC 4 2026-12-08 23:05:03 4,4\n");
  ASSERT_TRUE(journal.Strike(b.id));
  EXPECT_EQ(store.content.substr(store.content.size() - 4), "W 2\n");
}

TEST_F(CallJournalTest, AFailedMarkIsWrittenWithTheNextFlush) {
  journal.Recover();
  QueuedCall a = Call("1,1");
  ASSERT_TRUE(Record(a));
  store.failWrites = true;
  EXPECT_FALSE(journal.Strike(a.id));
  EXPECT_NE(store.content.find("C 1 "), std::string::npos) << "until then the call is pending";
  store.failWrites = false;
  ASSERT_TRUE(journal.Flush());
  EXPECT_EQ(store.content, "") << "made anew without the written call";
}

TEST_F(CallJournalTest, AMarkIntoADeletedJournalTakesEffectWhenTheFlushMakesItAnew) {
  journal.Recover();
  QueuedCall a = Call("1,1"), b = Call("2,2", 1);
  ASSERT_TRUE(Record(a));
  ASSERT_TRUE(Record(b));
  store.Delete();
  EXPECT_TRUE(journal.Strike(a.id));
  ASSERT_TRUE(journal.Flush());
  EXPECT_EQ(store.content, "C 2 2026-12-08 23:05:01 2,2\n") << "the struck call is not pending";
}

TEST_F(CallJournalTest, ADeletedJournalIsMadeAgainWithEveryPendingCall) {
  journal.Recover();
  QueuedCall a = Call("1,1"), b = Call("2,2", 1), c = Call("3,3", 2);
  ASSERT_TRUE(Record(a));
  ASSERT_TRUE(Record(b));
  journal.Strike(a.id);
  store.Delete();
  ASSERT_TRUE(Record(c));
  EXPECT_EQ(store.content, "C 2 2026-12-08 23:05:01 2,2\nC 3 2026-12-08 23:05:02 3,3\n");
  store.Delete();
  store.failReplace = true;
  QueuedCall d = Call("4,4", 3);
  std::string problem;
  EXPECT_FALSE(journal.Record(d, problem));
  EXPECT_EQ(problem, "cannot write calls-journal.txt; 3 calls are held in memory only");
}

}  // namespace
}  // namespace qelto
