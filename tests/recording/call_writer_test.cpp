#include "recording/call_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <algorithm>

#include <functional>
#include <stdexcept>

#include "support/fake_clock.h"
#include "support/fake_database.h"
#include "support/memory_durable_file.h"
#include "support/memory_log_files.h"
#include "ui/activity_log.h"

namespace qelto {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing_support::FakeClock;
using testing_support::FakeDatabase;
using testing_support::MemoryDurableFile;
using testing_support::MemoryLogFiles;

class CallWriterTest : public testing::Test {
 protected:
  CallWriterTest() {
    log.Open();
    journal.Recover();
  }

  void Arrive(const char* line, LocalDateTime moment = {2021, 3, 21, 10, 0, 0}) {
    QueuedCall call;
    call.moment = moment;
    call.line = line;
    call.queuedTick = clock.Tick();
    std::string problem;
    journal.Record(call, problem);
    queue.Append(std::move(call));
  }
  // The journal as the next run finds it.
  std::vector<QueuedCall> Reread() {
    MemoryDurableFile copy, side;
    copy.content = journalFile.Content();
    return CallJournal(copy, side).Recover().pending;
  }
  // One timer tick's share of the writer.
  void Tick(std::uint32_t ms = 500) {
    clock.Advance(ms);
    writer.ReconnectDatabase();
    writer.WriteQueuedCalls();
  }
  void ConnectNow() { Tick(kReconnectWaitMs + 1); }
  // The numbers (TotalNumber) written so far, in order.
  std::vector<std::string> Written() const {
    std::vector<std::string> numbers;
    for (const auto& statement : database.inserts) {
      const auto start = statement.find("', '") + 4;
      numbers.push_back(statement.substr(start, statement.find('\'', start) - start));
    }
    return numbers;
  }

  FakeClock clock;
  FakeDatabase database;
  LockedCallQueue queue;
  MemoryDurableFile journalFile;
  MemoryDurableFile damagedFile;
  CallJournal journal{journalFile, damagedFile};
  MemoryDurableFile rejected;
  MemoryLogFiles logFiles;
  ActivityLog log{logFiles, clock};
  CallWriter writer{database, queue, journal, rejected, log, clock, {"", ""}};
};

TEST_F(CallWriterTest, FirstAttemptComesOnlyAfterMoreThan15Seconds) {
  Arrive("1,111");
  Tick(kReconnectWaitMs);
  EXPECT_EQ(database.opens, 0);
  EXPECT_EQ(queue.Size(), 1u) << "calls before the first connection stay queued";
  Tick(1);
  EXPECT_EQ(database.opens, 1);
  EXPECT_TRUE(writer.DbConnected());
  EXPECT_EQ(writer.ConnectAttempts(), 1);
  EXPECT_THAT(Written(), ElementsAre("111"));
}

TEST_F(CallWriterTest, WritesEveryQueuedCallInOrderStampedWithItsArrival) {
  ConnectNow();
  Arrive("3,123456", {2021, 3, 21, 10, 0, 0});
  Arrive("2,0123456", {2020, 2, 29, 9, 5, 3});
  Tick();
  ASSERT_EQ(database.inserts.size(), 2u);
  EXPECT_EQ(database.inserts[0],
            "INSERT INTO Pos_Calls (IdNumber, LineNumber, TotalNumber, TarYY, TarMM, TarDD, Time) "
            "SELECT (SELECT ISNULL(MAX(IdNumber),0) FROM Pos_Calls) + 1, '3', '123456', '00', "
            "'01', '01', '10:00:00' ");
  EXPECT_THAT(database.inserts[1], HasSubstr("'2', '0123456', '98', '12', '10', '09:05:03' "));
  EXPECT_EQ(queue.Size(), 0u);
  EXPECT_TRUE(Reread().empty()) << "written calls are struck";
}

TEST_F(CallWriterTest, WrittenCallsAreMarkedAtOnceAndFlushedOncePerDrain) {
  ConnectNow();
  const int syncsBefore = journalFile.syncs;
  for (const char* line : {"1,1", "1,2", "1,3"}) Arrive(line);
  Tick();
  const std::string marks = "B 1 0\nW 1\nB 2 0\nW 2\nB 3 0\nW 3\n";
  EXPECT_EQ(journalFile.Content().substr(journalFile.Content().size() - marks.size()), marks)
      << "every mark is written as its row is, after the note of its INSERT";
  EXPECT_EQ(journalFile.unsynced, 0);
  EXPECT_EQ(journalFile.syncs, syncsBefore + 1) << "one flush for the three rows";
}

TEST_F(CallWriterTest, BranchCodeAndDialectReachTheStatement) {
  CallWriter branchWriter{
      database, queue, journal, rejected, log, clock, {", BranchCode", ", 'O''B'"}};
  database.dialect = SqlDialect::Standard;
  clock.Advance(kReconnectWaitMs + 1);
  branchWriter.ReconnectDatabase();
  Arrive("1,5");
  branchWriter.WriteQueuedCalls();
  ASSERT_EQ(database.inserts.size(), 1u);
  EXPECT_THAT(database.inserts[0], HasSubstr("Time, BranchCode) SELECT (SELECT COALESCE("));
  EXPECT_THAT(database.inserts[0], HasSubstr("'10:00:00', 'O''B' "));
}

TEST_F(CallWriterTest, FailedConnectionIsLoggedAndRetriedAfter15Seconds) {
  database.serverDown = true;
  Arrive("1,111");
  ConnectNow();
  EXPECT_FALSE(writer.DbConnected());
  EXPECT_EQ(writer.ConnectAttempts(), 1);
  EXPECT_THAT(logFiles.Messages(), ElementsAre("server unreachable"));
  Tick(kReconnectWaitMs);
  EXPECT_EQ(database.opens, 1);
  database.serverDown = false;
  Tick(1);
  EXPECT_EQ(writer.ConnectAttempts(), 2);
  EXPECT_THAT(Written(), ElementsAre("111"));
}

TEST_F(CallWriterTest, CallsSurviveAnOutageAndAreWrittenOnceInOrder) {
  ConnectNow();
  Arrive("1,1");
  Tick();
  database.serverDown = true;
  Arrive("1,2");
  Arrive("1,3");
  Tick();
  EXPECT_FALSE(writer.DbConnected()) << "a failed INSERT on a dead connection marks it down";
  EXPECT_EQ(database.closes, 1);
  EXPECT_EQ(queue.Size(), 2u) << "the failed call went back to the front";
  for (int i = 0; i < 100; ++i) {
    Arrive(("1," + std::to_string(4 + i)).c_str());
    Tick();
  }
  database.serverDown = false;
  ConnectNow();
  std::vector<std::string> expected;
  for (int i = 1; i <= 103; ++i) expected.push_back(std::to_string(i));
  EXPECT_EQ(Written(), expected);
  // The first call of the outage waited 65.5 s: the calls flowing again is said once, not for
  // each of the late calls behind it.
  const auto flowing = [&] {
    const std::vector<std::string> messages = logFiles.Messages();
    return std::count_if(messages.begin(), messages.end(), [](const std::string& m) {
      return m.find("takes calls again") != std::string::npos;
    });
  };
  EXPECT_EQ(flowing(), 1);
  EXPECT_THAT(logFiles.Messages(),
              testing::Contains("The database takes calls again; the call 1,2 waited 65 s"));
  Arrive("1,200");  // on time, which ends the episode
  Tick();
  database.serverDown = true;
  Arrive("1,201");
  for (int i = 0; i < 130; ++i) Tick();
  database.serverDown = false;
  for (int i = 0; i < 40; ++i) Tick();
  EXPECT_EQ(queue.Size(), 0u);
  EXPECT_EQ(flowing(), 2) << "a second hold-up is said again";
}

TEST_F(CallWriterTest, ACallTheTableRefusesIsSetAsideAfterThreeFailures) {
  ConnectNow();
  database.refuse = "'999'";
  Arrive("1,999", {2026, 12, 8, 23, 5, 12});
  Arrive("1,2");
  Tick();
  Tick();
  EXPECT_TRUE(writer.DbConnected()) << "the connection itself still works";
  EXPECT_TRUE(Written().empty()) << "retried in the next tick, ahead of later calls";
  Tick();
  EXPECT_THAT(Written(), ElementsAre("2"));
  EXPECT_EQ(rejected.Content(), "2026-12-08 23:05:12 - 1,999 - value too long for column\r\n");
  EXPECT_THAT(logFiles.Messages(),
              ElementsAre("Error: value too long for column", "Error: value too long for column",
                          "Error: value too long for column",
                          HasSubstr("set aside in rejected-calls.txt")));
  EXPECT_TRUE(Reread().empty());
}

TEST_F(CallWriterTest, CallStaysJournalledWhenItCannotBeSetAside) {
  ConnectNow();
  database.refuse = "'999'";
  rejected.failWrites = true;
  Arrive("1,999");
  Tick();
  Tick();
  Tick();
  EXPECT_EQ(queue.Size(), 1u) << "it stays queued too";
  const auto pending = Reread();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].line, "1,999");
}

TEST_F(CallWriterTest, WaitIsMeasuredAcrossTheWrapOfTheTickCounter) {
  clock.SetTick(0xFFFFFFFFu - 5000);
  CallWriter wrapped{database, queue, journal, rejected, log, clock, {"", ""}};
  clock.Advance(kReconnectWaitMs);  // wraps past zero
  wrapped.ReconnectDatabase();
  EXPECT_EQ(database.opens, 0);
  clock.Advance(1);
  wrapped.ReconnectDatabase();
  EXPECT_EQ(database.opens, 1);
}

TEST_F(CallWriterTest, NothingIsExecutedForAnEmptyQueue) {
  ConnectNow();
  Tick();
  EXPECT_TRUE(database.inserts.empty());
}

// A locked or full database, or a table renamed away for a while, is no fault of the call's: it
// waits at the front of the queue, the reason is logged once for the whole episode, and nothing is
// set aside. Only a failure that may have been carried out all the same (a time-out) leads to a
// look-up; either way a second genuine call with the first one's values gets its own row.
TEST_F(CallWriterTest, AnOutageKeepsTheCallAndLogsOncePerEpisode) {
  const struct {
    DbError outage;
    bool lookedUp;
  } cases[] = {
      {{DbFailure::kBusy, "database is locked"}, false},
      {{DbFailure::kTableMissing, "relation \"pos_calls\" does not exist"}, false},
      {{DbFailure::kTableMissing, "no such column: BranchCode"}, false},
      {{DbFailure::kBusy, "Query timeout expired", true}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outage.message);
    FakeDatabase db;
    LockedCallQueue calls;
    MemoryLogFiles files;
    ActivityLog activity{files, clock};
    activity.Open();
    CallWriter w{db, calls, journal, rejected, activity, clock, {"", ""}};
    const auto tick = [&] {
      clock.Advance(kReconnectWaitMs + 1);
      w.ReconnectDatabase();
      w.WriteQueuedCalls();
    };
    const auto arrive = [&] {
      QueuedCall call;
      call.moment = {2021, 3, 21, 10, 0, 0};
      call.line = "1,111";
      call.queuedTick = clock.Tick();
      calls.Append(std::move(call));
    };
    arrive();
    tick();
    db.busy = true;
    db.outage = c.outage;
    arrive();  // the same caller again within the second
    arrive();
    for (int i = 0; i < 10; ++i) tick();
    EXPECT_EQ(calls.Size(), 2u);
    EXPECT_TRUE(w.DbConnected()) << "the connection itself still works";
    EXPECT_EQ(rejected.Content(), "");
    EXPECT_THAT(files.Messages(), ElementsAre("Error: " + c.outage.message));
    db.busy = false;
    tick();
    EXPECT_EQ(db.inserts.size(), 3u) << "three calls, three rows";
    EXPECT_THAT(files.Messages(),
                ElementsAre("Error: " + c.outage.message,
                            "The database takes calls again; the call 1,111 waited 165 s"))
        << "the end of the episode is said once";
    EXPECT_EQ(!db.lookups.empty(), c.lookedUp);
  }
}

// Another recorder on the same table can take the number between our MAX(IdNumber) and our INSERT:
// the statement is run again at once while the other keeps taking numbers; a violation while the
// highest number stands still (a unique index of the shop's) is a refusal.
TEST_F(CallWriterTest, AKeyTakenByAnotherRecorderIsNumberedAfresh) {
  const struct {
    int collisions;
    bool otherIndex;
    std::size_t written;
  } cases[] = {
      {1, false, 1},
      {500, false, 1},  // the other recorder drains a backlog
      {kKeyCollisionRetries, true, 1},
      {1000, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.collisions);
    database.inserts.clear();
    rejected.content.clear();
    const auto logged = logFiles.Messages().size();
    ConnectNow();
    database.keyCollisions = c.collisions;
    database.collisionsOnOtherIndex = c.otherIndex;
    Arrive("1,111");
    for (int i = 0; i < kMaxCallFailures; ++i) Tick();
    EXPECT_EQ(database.inserts.size(), c.written);
    EXPECT_EQ(queue.Size(), 0u);
    const auto messages = logFiles.Messages();
    const std::vector<std::string> caseMessages(messages.begin() + logged, messages.end());
    if (c.written == 1) {
      EXPECT_EQ(rejected.Content(), "");
      EXPECT_THAT(caseMessages, ElementsAre()) << "a race that clears is nobody's business";
    } else {
      EXPECT_THAT(rejected.Content(), HasSubstr("1,111 - duplicate key"));
      EXPECT_THAT(caseMessages, ElementsAre(HasSubstr("duplicate key"), HasSubstr("duplicate key"),
                                            HasSubstr("duplicate key"), HasSubstr("set aside")));
    }
  }
}

// Recovered calls with the same values (one caller, twice in one second): the rows found are
// weighed against the twins known written, from the journal and from this run.
TEST_F(CallWriterTest, RecoveredTwinsGetARowEachAndNoMore) {
  constexpr const char* kFirst = "C 1 2021-03-21 10:00:00 1,111\n";
  constexpr const char* kSecond = "C 2 2021-03-21 10:00:00 1,111\n";
  const struct {
    std::string journal;
    std::int64_t rowsBefore;
    std::size_t inserted;
  } cases[] = {
      {std::string(kFirst) + "W 1\n" + kSecond, 1, 1},  // the first struck, the second never ran
      {std::string(kFirst) + "W 1\n" + kSecond, 2, 0},  // the second's mark lost to the crash
      {std::string(kFirst) + kSecond, 1, 1},            // both marks lost, one row
      {std::string(kFirst) + kSecond, 2, 0},           {std::string(kFirst) + kSecond, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.journal + std::to_string(c.rowsBefore));
    MemoryDurableFile file, side;
    file.content = c.journal;
    CallJournal recovered(file, side);
    FakeDatabase db;
    db.rowsFound = c.rowsBefore;
    LockedCallQueue calls;
    for (auto& call : recovered.Recover().pending) calls.Append(std::move(call));
    CallWriter w{db, calls, recovered, rejected, log, clock, {"", ""}};
    clock.Advance(kReconnectWaitMs + 1);
    w.ReconnectAndWrite();
    EXPECT_EQ(db.inserts.size(), c.inserted);
    EXPECT_EQ(calls.Size(), 0u);
    EXPECT_EQ(recovered.PendingCount(), 0u);
  }
}

// A database file deleted or replaced under the open connection: the writer opens it again at its
// place, and a row that went into the old file is written again into the new one.
TEST_F(CallWriterTest, AMovedDatabaseFileIsOpenedAgainAndTheCallWrittenThere) {
  ConnectNow();
  Arrive("1,111");
  Tick();
  database.movedAway = "the database file was deleted";
  Arrive("1,222");
  Tick();
  EXPECT_EQ(database.opens, 2) << "opened again before the batch";
  EXPECT_THAT(database.table, ElementsAre(HasSubstr("'222'")));
  database.moveAfterNextInsert = "the database file was replaced";
  Arrive("1,333");
  Arrive("1,444");
  Tick();
  EXPECT_EQ(database.opens, 3);
  EXPECT_EQ(queue.Size(), 2u) << "nothing is struck that went into the old file";
  EXPECT_EQ(journal.PendingCount(), 2u);
  Tick();
  EXPECT_THAT(database.table, ElementsAre(HasSubstr("'333'"), HasSubstr("'444'")));
  EXPECT_THAT(Written(), ElementsAre("111", "222", "333", "333", "444"));
  EXPECT_THAT(logFiles.Messages(), ElementsAre("Error: the database file was deleted",
                                               "Error: the database file was replaced"));
}

// A driver that throws, a connection that opens without coming up, a journal that cannot be
// written: the call stays journalled, what happened is logged, and the call is written, once,
// when the fault is gone.
struct FaultCase {
  const char* name;
  bool connectedFirst;  // the fault comes on a working connection
  std::function<void(FakeDatabase&, MemoryDurableFile& journalFile)> fault;
  std::vector<std::string> logged;
  bool connectedAfter;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
  *out << c.name;
}

// `database` throws, as a driver may, in whatever begins with one of `doing`.
void ThrowIn(FakeDatabase& database, std::vector<std::string> doing) {
  database.before = [doing = std::move(doing)](const std::string& what) {
    for (const std::string& prefix : doing) {
      if (what.rfind(prefix, 0) == 0) throw std::runtime_error("driver failed\ninside " + prefix);
    }
  };
}

constexpr const char* kDeleted = "the database file was deleted";
constexpr const char* kNotUp = "The database connection opened but is not up.";

class WriterFaults : public CallWriterTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(WriterFaults, KeepTheCallUntilItIsWritten) {
  const FaultCase& c = GetParam();
  if (c.connectedFirst) ConnectNow();
  Arrive("1,111");
  c.fault(database, journalFile);
  ConnectNow();
  EXPECT_THAT(logFiles.Messages(), testing::ElementsAreArray(c.logged));
  EXPECT_EQ(writer.DbConnected(), c.connectedAfter);
  const auto pending = Reread();
  ASSERT_EQ(pending.size(), 1u) << "the call stays journalled";
  EXPECT_EQ(pending[0].line, "1,111");

  database.before = nullptr;
  database.serverDown = database.openButDown = false;
  journalFile.failWrites = false;
  ConnectNow();
  EXPECT_THAT(Written(), ElementsAre("111"));
  EXPECT_EQ(queue.Size(), 0u);
  EXPECT_TRUE(Reread().empty());
  EXPECT_THAT(rejected.Content(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WriterFaults,
    testing::Values(
        FaultCase{"ConnectionAttemptThrows",
                  false,
                  [](FakeDatabase& db, MemoryDurableFile&) { ThrowIn(db, {"Open"}); },
                  {"driver failed inside Open"},
                  false},
        FaultCase{"ConnectionOpensButIsNotUp",
                  false,
                  [](FakeDatabase& db, MemoryDurableFile&) { db.openButDown = true; },
                  {kNotUp},
                  false},
        // A failure the database does not explain, while the server answers: a refusal.
        FaultCase{"HighestNumberThrows",
                  true,
                  [](FakeDatabase& db, MemoryDurableFile&) { ThrowIn(db, {"SELECT MAX"}); },
                  {"Error: driver failed inside SELECT MAX"},
                  true},
        // ... and while the server does not answer either: the connection is lost, and the call
        // is looked up before it is inserted again.
        FaultCase{"InsertAndProbeThrow",
                  true,
                  [](FakeDatabase& db, MemoryDurableFile&) {
                    ThrowIn(db, {"INSERT", "SELECT 1"});
                  },
                  {"Error: driver failed inside INSERT"},
                  false},
        // Where the file is cannot be told: taken as moved, opened again, nothing struck.
        FaultCase{"PlaceOfTheFileThrows",
                  true,
                  [](FakeDatabase& db, MemoryDurableFile&) { ThrowIn(db, {"AtNamedPlace"}); },
                  {"Error: driver failed inside AtNamedPlace",
                   "Error: driver failed inside AtNamedPlace"},
                  true},
        FaultCase{"ReopenThrows",
                  true,
                  [](FakeDatabase& db, MemoryDurableFile&) {
                    db.movedAway = kDeleted;
                    ThrowIn(db, {"Open"});
                  },
                  {std::string("Error: ") + kDeleted, "driver failed inside Open"},
                  false},
        FaultCase{"ReopenFails",
                  true,
                  [](FakeDatabase& db, MemoryDurableFile&) {
                    db.movedAway = kDeleted;
                    db.serverDown = true;
                  },
                  {std::string("Error: ") + kDeleted, "server unreachable"},
                  false},
        FaultCase{"ReopenIsNotUp",
                  true,
                  [](FakeDatabase& db, MemoryDurableFile&) {
                    db.movedAway = kDeleted;
                    db.openButDown = true;
                  },
                  {std::string("Error: ") + kDeleted, kNotUp},
                  false},
        // The highest number cannot be read after a collision: the collision counts as a
        // refusal.
        FaultCase{"HighestNumberFailsAfterACollision",
                  true,
                  [](FakeDatabase& db, MemoryDurableFile&) {
                    db.keyCollisions = 1;
                    db.before = [&db, reads = 0](const std::string& what) mutable {
                      if (what.rfind("SELECT MAX", 0) == 0 && ++reads == 2) db.serverDown = true;
                    };
                  },
                  {"Error: duplicate key value violates unique constraint"},
                  true},
        // The row is written, but neither its note, nor its mark, nor the flush reach the disk:
        // the next flush makes the journal anew without it, and it is not written twice.
        FaultCase{"JournalCannotBeWritten",
                  true,
                  [](FakeDatabase&, MemoryDurableFile& journal) { journal.failWrites = true; },
                  {"Error: Call journal: cannot note the sending of the call 1,111",
                   "Error: Call journal: cannot mark the call 1,111 as written; the mark is "
                   "written again with the next flush",
                   "Error: Call journal: cannot flush the written calls"},
                  true}),
    [](const testing::TestParamInfo<FaultCase>& shown) { return shown.param.name; });

// A stop asked for while another recorder keeps taking the numbers: the call is no one's fault
// and is left in the journal for the next run, unlogged.
TEST_F(CallWriterTest, AStopDuringKeyCollisionsLeavesTheCallJournalled) {
  ConnectNow();
  database.keyCollisions = 1000;
  database.before = [this](const std::string& what) {
    if (what.rfind("INSERT", 0) == 0) writer.RequestStop();
  };
  Arrive("1,111");
  Tick();
  EXPECT_EQ(database.keyCollisions, 999) << "no statement run again after the stop";
  EXPECT_TRUE(Written().empty());
  EXPECT_EQ(queue.Size(), 1u);
  EXPECT_EQ(Reread().size(), 1u);
  EXPECT_THAT(logFiles.Messages(), ElementsAre());
  EXPECT_EQ(rejected.Content(), "");
}

// Refusals count toward setting a call aside; a failure the database does not explain counts
// as one only when the server still answers.
TEST_F(CallWriterTest, OnlyARefusalSetsACallAside) {
  for (const DbFailure kind : {DbFailure::kRefused, DbFailure::kUnknown}) {
    database.refuse = "'999'";
    database.refusalKind = kind;
    rejected.content.clear();
    ConnectNow();
    Arrive("1,999");
    Tick();
    Tick();
    Tick();
    EXPECT_EQ(queue.Size(), 0u);
    EXPECT_THAT(rejected.Content(), HasSubstr("1,999"));
  }
}

TEST_F(CallWriterTest, ACallWhoseInsertGotNoAnswerIsLookedUpInsteadOfWrittenTwice) {
  ConnectNow();
  database.othersRows = 40;  // the shop's table holds rows already
  database.loseAnswerAfterInsert = true;
  Arrive("1,111");
  Tick();
  EXPECT_FALSE(writer.DbConnected());
  EXPECT_EQ(queue.Size(), 1u);
  EXPECT_THAT(journalFile.Content(), HasSubstr("\nB 1 40\n")) << "noted before the INSERT";
  database.serverDown = false;
  ConnectNow();
  EXPECT_THAT(Written(), ElementsAre("111")) << "no second INSERT";
  ASSERT_EQ(database.lookups.size(), 1u);
  EXPECT_THAT(database.lookups[0], HasSubstr("WHERE IdNumber > 40 AND LineNumber = '1'"));
  EXPECT_EQ(queue.Size(), 0u);
  EXPECT_TRUE(Reread().empty());
}

// A recovered call's look-up searches only the rows numbered above the highest IdNumber seen
// before its last INSERT was sent; a call journalled without that number (by an earlier version),
// or one with twins known written, is looked up in the whole table.
TEST_F(CallWriterTest, ARecoveredCallIsLookedUpAmongTheRowsNumberedSinceItsInsert) {
  constexpr const char* kCall = "C 1 2021-03-21 10:00:00 1,111\n";
  const struct {
    std::string journal;
    std::int64_t rowFoundId;  // a row with the call's values, numbered this
    const char* window;       // how the look-up begins its conditions
    std::size_t inserted;
  } cases[] = {
      {std::string(kCall) + "B 1 5\n", 6, "IdNumber > 5 AND ", 0},
      // a row of a caller who rang in the same second before, numbered before the INSERT was
      // sent: no longer taken for the call's own
      {std::string(kCall) + "B 1 5\n", 3, "IdNumber > 5 AND ", 1},
      {std::string(kCall) + "B 1 5\nB 1 7\n", 6, "IdNumber > 7 AND ", 1},  // sent again
      {kCall, 3, "LineNumber", 0},                                         // an older journal
      {"C 1 2021-03-21 10:00:00 1,111\nB 1 5\nW 1\nC 2 2021-03-21 10:00:00 1,111\nB 2 5\n", 6,
       "LineNumber", 1},  // a twin written: one row for the two
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.journal + std::to_string(c.rowFoundId));
    MemoryDurableFile file, side;
    file.content = c.journal;
    CallJournal recovered(file, side);
    FakeDatabase db;
    db.rowsFound = 1;
    db.rowsFoundId = c.rowFoundId;
    LockedCallQueue calls;
    for (auto& call : recovered.Recover().pending) calls.Append(std::move(call));
    CallWriter w{db, calls, recovered, rejected, log, clock, {"", ""}};
    clock.Advance(kReconnectWaitMs + 1);
    w.ReconnectAndWrite();
    ASSERT_EQ(db.lookups.size(), 1u);
    EXPECT_THAT(db.lookups[0], HasSubstr(std::string(" WHERE ") + c.window));
    EXPECT_EQ(db.inserts.size(), c.inserted);
    EXPECT_EQ(recovered.PendingCount(), 0u);
  }
}

TEST_F(CallWriterTest, ARecoveredCallIsLookedUpByItsValuesBeforeItIsInserted) {
  CallWriter branchWriter{
      database, queue, journal, rejected, log, clock, {", BranchCode", ", '12'"}};
  clock.Advance(kReconnectWaitMs + 1);
  branchWriter.ReconnectDatabase();
  Arrive("3,123456");
  queue.PutBackFirst([&] {
    auto call = *queue.TakeFirst();
    call.mayBeWritten = true;
    return call;
  }());
  branchWriter.WriteQueuedCalls();
  ASSERT_EQ(database.lookups.size(), 1u);
  EXPECT_EQ(database.lookups[0],
            "SELECT COUNT(*) FROM Pos_Calls WHERE LineNumber = '3' AND TotalNumber = '123456' AND "
            "TarYY = '00' AND TarMM = '01' AND TarDD = '01' AND Time = '10:00:00' AND BranchCode = "
            "'12'");
  EXPECT_THAT(Written(), ElementsAre("123456")) << "not there: inserted";
  Arrive("3,7");
  branchWriter.WriteQueuedCalls();
  EXPECT_EQ(database.lookups.size(), 1u) << "a new call gets its INSERT alone";
}

}  // namespace
}  // namespace qelto
