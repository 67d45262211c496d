#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "recording/call_writer.h"
#include "recording/database.h"
#include "recording/writer_control.h"

namespace qelto {

// Runs the call writer on a thread of its own, so that no connection attempt or statement ever
// makes the user-interface thread wait. The status tick reads the writer's state and wakes it;
// a call's arrival wakes it too, so a call is written while the telephone still rings.
class CallWriterThread : public WriterControl {
 public:
  // Starts the thread. `writer` and `database` must outlive it, or, after a Stop() that found
  // the thread stuck, the process.
  CallWriterThread(CallWriter& writer, Database& database);
  // Stops the thread and waits for it, however long the database takes.
  ~CallWriterThread() override;
  CallWriterThread(const CallWriterThread&) = delete;
  CallWriterThread& operator=(const CallWriterThread&) = delete;

  bool DbConnected() const override { return writer_.DbConnected(); }
  std::int32_t ConnectAttempts() const override { return writer_.ConnectAttempts(); }
  void ResetConnectAttempts() override { writer_.ResetConnectAttempts(); }
  CallsWaiting Waiting() const override { return writer_.Waiting(); }
  // Wakes the thread; returns at once.
  void ReconnectAndWrite() override { Wake(); }
  void Wake();

  // Ends the thread: no new statement is started, the one that runs is cancelled, and the
  // thread is given `grace` to finish. True when it did. False when it is still stuck in the
  // database (a connection attempt that cannot be cancelled, a driver that ignores the cancel):
  // the caller should then end the process at once rather than destroy this object, which would
  // wait for the database. Its calls are safe in the journal either way.
  bool Stop(std::chrono::milliseconds grace);

 private:
  void Run();
  void RequestEnd();

  CallWriter& writer_;
  Database& database_;
  std::mutex lock_;  // guards the three flags below
  std::condition_variable changed_;
  bool woken_ = false;
  bool stopping_ = false;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace qelto
