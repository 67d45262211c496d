#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/win32/unique_handle.h"
#include "drivers/control/line_splitter.h"
#include "drivers/control/win32/pipe_security.h"
#include "drivers/driver_platform.h"

namespace qelto::cidr {

// The control channel on a named pipe (see ControlChannel), open to one user and to local
// clients only. Its thread waits on overlapped I/O and on an event that Wake() and
// RequestStop() set. One pipe instance listens while fewer than kMaxClients are connected; a
// client that finds none free waits with WaitNamedPipe.
class NamedPipeSession final : public ControlChannel {
 public:
  // Starts the thread. With an empty `pipe_name` or a pipe that cannot be made (`problem` then
  // says why; in use by another program, say) it only runs the woken work. Throws
  // std::system_error when the thread or its event cannot be made. `handler` must outlive it.
  NamedPipeSession(const std::string& pipe_name, const std::string& user_sid,
                   SessionHandler& handler, std::string& problem);
  ~NamedPipeSession() override;
  NamedPipeSession(const NamedPipeSession&) = delete;
  NamedPipeSession& operator=(const NamedPipeSession&) = delete;

  void Wake() override;
  void RequestStop() override;
  // The pipe is gone once every instance is closed, which the thread does as it ends: the
  // destructor's join, or the driver's next registration, waits for that.
  void ReleaseAddress() override {}
  bool IsChannelThread() const override { return std::this_thread::get_id() == thread_id_; }

 private:
  using SteadyClock = std::chrono::steady_clock;

  // One pipe instance: listening for a client, or connected to one. Its overlapped operation,
  // if one is running, is cancelled and waited for before the instance is freed.
  struct Instance {
    Instance() = default;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance();

    UniqueHandle pipe;
    UniqueHandle event;  // manual reset; set when the operation completes
    OVERLAPPED overlapped{};
    bool busy = false;  // an operation was started and its result not yet taken
    std::array<char, 4096> buffer{};
    LineSplitter lines{kMaxLineBytes};
    SteadyClock::time_point last_heard;
  };
  using InstancePtr = std::unique_ptr<Instance>;

  void Run();
  // A new instance, listening. Null when it cannot be made; `error` then holds the code.
  InstancePtr Listen(bool first, DWORD& error);
  void ListenIfRoom();
  // Takes a finished connect; the listener becomes a connection.
  void Accept();
  // False when the connection is finished and is to be closed.
  bool Serve(Instance& connection);
  bool StartRead(Instance& connection);
  bool Answer(Instance& connection, std::string_view line);
  DWORD WaitTimeoutMs() const;
  void CloseIdleClients();

  SessionHandler& handler_;
  std::wstring pipe_name_;
  UserOnlySecurity security_;
  UniqueHandle wake_;         // manual reset
  UniqueHandle write_event_;  // manual reset, for replies
  std::atomic<bool> stop_{false};
  InstancePtr listener_;                  // touched by the session thread only
  std::vector<InstancePtr> connections_;  // touched by the session thread only
  std::thread thread_;
  std::thread::id thread_id_;  // set once in the constructor
};

}  // namespace qelto::cidr
