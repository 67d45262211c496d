#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "drivers/control/line_splitter.h"
#include "drivers/control/posix/unix_socket.h"
#include "drivers/driver_platform.h"
#include "drivers/posix/unique_fd.h"

namespace qelto::cidr {

// The control channel on a listening Unix socket (see ControlChannel). While the most clients
// are connected new ones wait in the listening queue.
class ControlSession final : public ControlChannel {
 public:
  // Starts the thread; throws std::system_error when the thread or its wake pipe cannot be
  // made. `handler` must outlive the session.
  ControlSession(std::optional<ListeningSocket> socket, SessionHandler& handler);
  // Stops and joins the thread. Must not run on the session's own thread.
  ~ControlSession() override;
  ControlSession(const ControlSession&) = delete;
  ControlSession& operator=(const ControlSession&) = delete;

  void Wake() override;
  void RequestStop() override;
  // Removes the socket file at once, so a new session can bind the same path.
  void ReleaseAddress() override;
  bool IsChannelThread() const override { return std::this_thread::get_id() == thread_id_; }

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

}  // namespace qelto::cidr
