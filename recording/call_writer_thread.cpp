#include "recording/call_writer_thread.h"

namespace qelto {

CallWriterThread::CallWriterThread(CallWriter& writer, Database& database)
    : writer_(writer), database_(database), thread_([this] { Run(); }) {}

CallWriterThread::~CallWriterThread() {
  if (!thread_.joinable()) return;
  RequestEnd();
  thread_.join();
}

void CallWriterThread::RequestEnd() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  writer_.RequestStop();
  database_.Cancel();
  changed_.notify_all();
}

void CallWriterThread::Wake() {
  {
    std::lock_guard guard(lock_);
    woken_ = true;
  }
  changed_.notify_all();
}

void CallWriterThread::Run() {
  std::unique_lock guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] { return woken_ || stopping_; });
    if (stopping_) break;
    woken_ = false;
    guard.unlock();
    writer_.ReconnectDatabase();
    writer_.WriteQueuedCalls();
    guard.lock();
  }
  finished_ = true;
  changed_.notify_all();
}

bool CallWriterThread::Stop(std::chrono::milliseconds grace) {
  if (!thread_.joinable()) return true;
  RequestEnd();
  std::unique_lock guard(lock_);
  const bool finished = changed_.wait_for(guard, grace, [this] { return finished_; });
  guard.unlock();
  if (finished) thread_.join();
  return finished;
}

}  // namespace qelto
