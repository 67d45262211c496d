#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "drivers/line_splitter.h"
#include "drivers/posix/unique_fd.h"
#include "drivers/posix/unix_socket.h"

namespace qelto::sim {

// What a control session's thread calls out to. Both run on that thread.
class SessionHandler {
 public:
  virtual ~SessionHandler() = default;
  // The session was woken by Wake(): work may be waiting for its thread.
  virtual void OnWake() = 0;
  // One line received from a control client; returns the reply lines to send back.
  virtual std::vector<std::string> OnLine(std::string_view line) = 0;
};

// The driver's own thread: it serves control clients on the listening socket and runs work
// handed to it with Wake(). Without a socket it only runs the woken work. Clients are served
// one line at a time in arrival order; each line is answered before the next is read. A client
// that sends nothing for kIdleClientTimeout is closed, and while the most clients are connected
// new ones wait in the listening queue, so idle clients cannot lock the others out for long.
class ControlSession {
 public:
  static constexpr std::chrono::seconds kIdleClientTimeout{5};

  // Starts the thread; throws std::system_error when the thread or its wake pipe cannot be
  // made. `handler` must outlive the session.
  ControlSession(std::optional<ListeningSocket> socket, SessionHandler& handler);
  // Stops and joins the thread. Must not run on the session's own thread.
  ~ControlSession();
  ControlSession(const ControlSession&) = delete;
  ControlSession& operator=(const ControlSession&) = delete;

  // Makes the thread call OnWake() soon. Callable from any thread.
  void Wake();
  // Asks the thread to finish; it returns once the handler call in progress (if any) returns.
  void RequestStop();
  // Removes the socket file at once, so a new session can bind the same path.
  void UnlinkSocket();
  bool IsSessionThread() const { return std::this_thread::get_id() == thread_id_; }

 private:
  using SteadyClock = std::chrono::steady_clock;

  struct Connection {
    UniqueFd fd;
    LineSplitter lines;
    SteadyClock::time_point last_heard;
  };

  void Run();
  // Milliseconds until the first idle client is due to be closed, or -1 (no client).
  int PollTimeoutMs() const;
  void CloseIdleClients();
  void AcceptClient();
  // False when the connection is finished and is to be closed.
  bool ServeClient(Connection& connection);
  bool Answer(Connection& connection, std::string_view line);

  SessionHandler& handler_;
  std::optional<ListeningSocket> socket_;
  UniqueFd wake_read_;
  UniqueFd wake_write_;
  std::atomic<bool> stop_{false};
  std::vector<Connection> connections_;  // touched by the session thread only
  std::thread thread_;
  std::thread::id thread_id_;  // set once in the constructor
};

}  // namespace qelto::sim
